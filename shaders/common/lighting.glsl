// Scene lighting: the ambient colour and up to MAX_LIGHTS lights of the
// types the engine header numbers. Light directions point from the light's
// target towards the light; spot angles arrive already halved, in degrees.
#ifndef VEXA_LIGHTING_GLSL
#define VEXA_LIGHTING_GLSL

struct LIGHT {
    int type;
    vec3 diffuse;
    vec3 position;
    vec3 direction;
    float attenuation_start;
    float attenuation_end;
    float hotspot_beam;
    float falloff;
};

struct LIGHT_MODEL {
    vec3 ambient;
};

uniform LIGHT g_Lights[MAX_LIGHTS];
uniform LIGHT_MODEL g_LightModel;

struct LIGHTING {
    vec3 diffuse;
    vec3 specular;
};

const float SPECULAR_EXPONENT = 32.0;

// Full strength up to attenuation_start, none beyond attenuation_end. An end
// of zero or less means the light reaches everywhere.
float light_distance_factor(LIGHT light, float distance_to_light) {
    if (light.attenuation_end <= 0.0) {
        return 1.0;
    }
    float range = light.attenuation_end - light.attenuation_start;
    if (range <= 0.0) {
        return distance_to_light <= light.attenuation_end ? 1.0 : 0.0;
    }
    return clamp((light.attenuation_end - distance_to_light) / range, 0.0, 1.0);
}

// Full strength inside the hotspot cone, fading to none at the falloff cone.
float spot_cone_factor(LIGHT light, vec3 to_light) {
    float cos_angle = dot(to_light, light.direction);
    float cos_hotspot = cos(radians(light.hotspot_beam));
    float cos_falloff = cos(radians(light.falloff));
    if (cos_hotspot - cos_falloff <= 0.0001) {
        return cos_angle >= cos_falloff ? 1.0 : 0.0;
    }
    return clamp((cos_angle - cos_falloff) / (cos_hotspot - cos_falloff), 0.0, 1.0);
}

// Diffuse and specular light reaching a surface point with unit normal n,
// seen along the unit vector to_eye.
LIGHTING evaluate_lights(vec3 world_position, vec3 n, vec3 to_eye) {
    LIGHTING result = LIGHTING(vec3(0.0), vec3(0.0));
    for (int i = 0; i < MAX_LIGHTS; ++i) {
        LIGHT light = g_Lights[i];
        if (light.type == LIGHT_TYPE_NONE) {
            continue;
        }
        vec3 to_light;
        float strength = 1.0;
        if (light.type == LIGHT_TYPE_DIRECTIONAL) {
            to_light = light.direction;
        } else {
            vec3 offset = light.position - world_position;
            float distance_to_light = length(offset);
            to_light = distance_to_light > 0.0 ? offset / distance_to_light : n;
            strength = light_distance_factor(light, distance_to_light);
            if (light.type == LIGHT_TYPE_SPOT) {
                strength *= spot_cone_factor(light, to_light);
            }
        }
        float facing = max(dot(n, to_light), 0.0);
#ifdef ACTIVAR_DIFFUSE
        result.diffuse += light.diffuse * (facing * strength);
#endif
#ifdef ACTIVAR_SPECULAR
        // An eye exactly opposite the light (a two-sided surface seen from
        // behind) has no halfway vector; normalising zero would give NaN.
        vec3 halfway = to_light + to_eye;
        float halfway_length = length(halfway);
        if (facing > 0.0 && halfway_length > 0.0) {
            float shine =
                pow(max(dot(n, halfway / halfway_length), 0.0), SPECULAR_EXPONENT);
            result.specular += light.diffuse * (shine * strength);
        }
#endif
    }
    return result;
}

#endif
