// The lock a decode child puts on itself before it reads a byte of the file:
// normal priority, no new privileges, a Landlock rule set that lets it read
// only the folder tree it was handed, and a seccomp-bpf allow-list of the
// system calls decoding needs. Built into the decoder program only (it alone
// links libseccomp); see decoder_sandbox.cpp for the list and its reasons.
// Owns no globals.
#pragma once

#include <cstdint>

// The layers, as bits of the mask decoder_lock returns.
enum : uint32_t {
    SANDBOX_NO_NEW_PRIVS = 1,
    SANDBOX_LANDLOCK = 2,
    SANDBOX_SECCOMP = 4,
    SANDBOX_ALL_LAYERS = 7,
};

// The descriptors a locked decode child holds: the file on 0, the answer on
// 1, /dev/null on 2 and, when it may read neighbours, their folder on 3.
constexpr int DECODER_FOLDER_FD = 3;

// Compiles the system-call filter once, so that the children forked after
// this only load it (the decoder server calls it before its first fork).
void decoder_lock_prepare();

// Locks the calling process (single-threaded) for good. folder_fd is the one
// folder it may still read below (-1: none). Returns the layers in place;
// those missing are missing from the kernel or refused by a container.
uint32_t decoder_lock(int folder_fd);
