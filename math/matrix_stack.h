// Fixed-capacity matrix stacks (the model stack, each camera's view and projection stacks) and
// the global model stack. Owns `model_stack` and the refusal-assert switch; relies on
// math/matrix.h and the runtime heap (malloc/free) for the slots, allocated once at creation.
// Push, pop, mult and load run for every drawn node, so they are inline and allocation-free.
#pragma once

#include "math/matrix.h"

#include <cstdint>

constexpr uint32_t MATRIX_STACK_MAGIC = 0xCA55E77Eu;

// Hierarchies of actors, joints and the 2D pass nest far below this.
constexpr uint32_t MODEL_STACK_CAPACITY = 64;

struct MATRIX_STACK {
    uint32_t magic;
    uint32_t capacity; // 0 when the slots could not be allocated
    int32_t depth;     // index of the top slot, 0 .. capacity - 1
    MATRIX4* top;      // slots + depth; null when the slots could not be allocated
    MATRIX4* slots;
    uint8_t changed; // set on creation, push, pop and mult; kept for callers that track it
};

// The current object-to-world matrix is its top. Null until model_stack_create_global().
extern MATRIX_STACK* model_stack;

// True (the start-up value): debug builds stop at an assertion when a stack refuses a request.
// Tests of the refusal itself switch it off; release builds never assert.
extern bool matrix_stack_assert_on_refusal;

// Fills a record allocated by its owner with `new`: capacity slots, all identity, depth 0.
// Returns the record, or null after printing one line to stderr when the slots cannot be
// allocated (or capacity is 0); the record is then left with capacity 0 and no top, and every
// operation on it is refused without touching memory.
MATRIX_STACK* matrix_stack_create(uint32_t capacity, MATRIX_STACK* stack);

// Frees the slots and deletes the record (which must come from `new`). Null is ignored.
void matrix_stack_destroy(MATRIX_STACK* stack);

// Creates the global model stack (capacity 64) unless it exists; returns it (null only when
// its slots could not be allocated).
MATRIX_STACK* model_stack_create_global();

// Returns the subsystem to its start-of-process state as far as callers can tell: the refusal
// assert is switched back on and, when the model stack exists, it is returned to its created
// state (depth 0, every slot identity, changed 1). The model stack is kept, not freed, so
// pointers to it stay valid.
void math_reset();

// Slow path of a refused request: asserts in debug builds (unless switched off), returns false.
[[gnu::cold]] bool matrix_stack_refuse(const MATRIX_STACK* stack, const char* request);

// The new top starts as a copy of the old one. Refused (false, nothing changes) at the last slot.
inline bool matrix_stack_push(MATRIX_STACK* stack) {
    if (static_cast<uint32_t>(stack->depth) + 1u >= stack->capacity) {
        return matrix_stack_refuse(stack, "push beyond the last slot");
    }
    stack->slots[stack->depth + 1] = *stack->top;
    ++stack->depth;
    stack->top = stack->slots + stack->depth;
    stack->changed = 1;
    return true;
}

// The popped slot keeps its contents until the next push. Refused (false) at the bottom slot.
inline bool matrix_stack_pop(MATRIX_STACK* stack) {
    if (stack->depth <= 0) {
        return matrix_stack_refuse(stack, "pop below the bottom slot");
    }
    --stack->depth;
    stack->top = stack->slots + stack->depth;
    stack->changed = 1;
    return true;
}

// top = top·m: m acts on a vertex before everything already on the top.
inline void matrix_stack_mult(MATRIX_STACK* stack, const MATRIX4& m) {
    if (stack->top == nullptr) {
        matrix_stack_refuse(stack, "mult on a stack without slots");
        return;
    }
    matrix_multiply(*stack->top, *stack->top, m);
    stack->changed = 1;
}

// Overwrites the top; the changed flag is left alone.
inline void matrix_stack_load(MATRIX_STACK* stack, const MATRIX4& m) {
    if (stack->top == nullptr) {
        matrix_stack_refuse(stack, "load on a stack without slots");
        return;
    }
    *stack->top = m;
}
