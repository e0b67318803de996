// Creation and destruction of matrix stacks, the global model stack and the refusal path of
// the inline stack operations. Owns `model_stack` (created once, never freed) and
// `matrix_stack_assert_on_refusal`; relies on malloc/free for the slot arrays.
#include "math/matrix_stack.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>

MATRIX_STACK* model_stack = nullptr;
bool matrix_stack_assert_on_refusal = true;

namespace {

void fill_with_identity(MATRIX_STACK* stack) {
    for (uint32_t i = 0; i < stack->capacity; ++i) {
        matrix_identity(stack->slots[i]);
    }
    stack->depth = 0;
    stack->top = stack->slots;
    stack->changed = 1;
}

} // namespace

bool matrix_stack_refuse([[maybe_unused]] const MATRIX_STACK* stack,
                         [[maybe_unused]] const char* request) {
#ifndef NDEBUG
    if (matrix_stack_assert_on_refusal) {
        std::fprintf(stderr, "matrix stack %p (depth %d, capacity %u): %s refused\n",
                     static_cast<const void*>(stack), stack->depth, stack->capacity, request);
        assert(!"matrix stack request outside its slots");
    }
#endif
    return false;
}

MATRIX_STACK* matrix_stack_create(uint32_t capacity, MATRIX_STACK* stack) {
    if (stack == nullptr) {
        return nullptr;
    }
    stack->magic = MATRIX_STACK_MAGIC;
    stack->capacity = 0;
    stack->depth = 0;
    stack->top = nullptr;
    stack->slots = nullptr;
    stack->changed = 1;

    MATRIX4* slots = capacity == 0
                         ? nullptr
                         : static_cast<MATRIX4*>(std::malloc(sizeof(MATRIX4) * size_t{capacity}));
    if (slots == nullptr) {
        // A stack without a top would crash its first reader; leave it empty and refusing.
        std::fprintf(stderr, "matrix_stack_create: cannot allocate %u matrices\n", capacity);
        return nullptr;
    }
    stack->capacity = capacity;
    stack->slots = slots;
    fill_with_identity(stack);
    return stack;
}

void matrix_stack_destroy(MATRIX_STACK* stack) {
    if (stack == nullptr) {
        return;
    }
    std::free(stack->slots);
    delete stack;
}

MATRIX_STACK* model_stack_create_global() {
    if (model_stack == nullptr) {
        MATRIX_STACK* stack = new MATRIX_STACK;
        if (matrix_stack_create(MODEL_STACK_CAPACITY, stack) == nullptr) {
            delete stack;
            return nullptr;
        }
        model_stack = stack;
    }
    return model_stack;
}

void math_reset() {
    matrix_stack_assert_on_refusal = true;
    if (model_stack != nullptr) {
        fill_with_identity(model_stack);
    }
}
