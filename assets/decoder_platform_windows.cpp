// The decoder on Windows: the platform half of assets/ that Linux has in
// decoder_process.cpp and decoder_files.cpp (CMake builds one or the other).
// Owns no globals but the hooks decoder_main.cpp sets.
//
// As on Linux, every file is decoded by vexa-decode.exe, a process of its
// own, started for each decode (Windows has no fork, so no server): the
// caller opens the model and its folder itself and hands both over as
// inherited handles, never as paths, with the answer's pipe as standard
// output. Before the decoder runs a line it is put in a Job object: a memory
// limit for the process, a CPU-time limit, no error dialog on a crash
// (JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION: the exception code becomes
// its exit code) and JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, so it ends with the
// caller however the caller ends. The caller also watches its wall time, its
// CPU time and its committed memory every 20 ms (Wine accepts the job's
// limits without enforcing them) and kills it past a limit.
//
// What Windows does not get is the lock: no system-call filter and no
// Landlock; a decoder taken over by a hostile file runs with the caller's
// rights (docs/untrusted-files.md). Neighbours are read only below the
// model's own folder, by relative names without "..", drive letters or
// streams, and never through a reparse point.
#include "assets/decoder_child.h"
#include "assets/decoder_process.h"
#include "assets/decoder_sandbox.h"
#include "assets/model_decode.h"
#include "assets/neighbour_files.h"
#include "assets/picture_decode.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr DWORD POLL_MS = 20;
constexpr int EXIT_BAD_REQUEST = 64;
constexpr int EXIT_NO_JOB = 24; // REQUIRED, and the decoder is not in a Job object
// The exit codes the caller gives a decoder it stops for a limit.
constexpr UINT KILLED_CPU = 0xE0000001;
constexpr UINT KILLED = 0xE0000002;
using CLOCK = std::chrono::steady_clock;

std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(std::max(n, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

HANDLE handle_of(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : HANDLE(_get_osfhandle(fd));
}

int descriptor_of(HANDLE handle) {
    const int fd = _open_osfhandle(intptr_t(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
    }
    return fd;
}

// A disk file that is neither a folder nor a reparse point; its size.
bool regular_handle(HANDLE handle, uint64_t* size, std::string* reason) {
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &info)) {
        *reason = "is not a regular file";
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        *reason = "is a directory, not a file";
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        *reason = "is not a regular file";
        return false;
    }
    *size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (*size > MAX_DECODER_FILE_BYTES) {
        *reason = "is larger than 1 GB";
        return false;
    }
    return true;
}

bool read_handle(HANDLE handle, std::vector<uint8_t>* out, std::string* reason) {
    uint64_t size = 0;
    if (!regular_handle(handle, &size, reason)) {
        return false;
    }
    out->resize(size_t(size));
    size_t got = 0;
    while (got < out->size()) {
        // From the file's start whatever its position, as pread reads.
        OVERLAPPED at{};
        at.Offset = DWORD(uint64_t(got) & 0xffffffffu);
        at.OffsetHigh = DWORD(uint64_t(got) >> 32);
        DWORD n = 0;
        const DWORD want = DWORD(std::min<size_t>(out->size() - got, 1u << 24));
        if (!ReadFile(handle, out->data() + got, want, &n, &at) || n == 0) {
            break;
        }
        got += n;
    }
    out->resize(got); // a file cut short meanwhile reads as what is there
    return true;
}

// The folder's own path ("\\?\C:\models"), "" when it cannot be told.
std::wstring folder_path(int folder) {
    const HANDLE handle = handle_of(folder);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), 0);
    if (n >= path.size()) {
        path.resize(n + 1);
        n = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), 0);
    }
    if (n == 0 || n >= path.size()) {
        return std::wstring();
    }
    path.resize(n);
    if (path.rfind(L"\\\\?\\", 0) != 0) {
        path = L"\\\\?\\" + path;
    }
    while (path.size() > 4 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

enum class BELOW { FOUND, MISSING, OUTSIDE };

// Resolves path below the folder step by step: only relative names whose
// parts are not "..", hold no drive letter or stream (':') and pass through
// no reparse point (a link could lead anywhere). *full: the whole path.
BELOW resolve_below(int folder, const std::string& path, std::wstring* full, DWORD* attributes) {
    if (path.empty() || path[0] == '/' || path[0] == '\\' || path.find(':') != std::string::npos) {
        return BELOW::OUTSIDE;
    }
    *full = folder_path(folder);
    if (full->empty()) {
        return BELOW::OUTSIDE;
    }
    *attributes = FILE_ATTRIBUTE_DIRECTORY;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("/\\", start);
        end = end == std::string::npos ? path.size() : end;
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == ".." || !(*attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return part == ".." ? BELOW::OUTSIDE : BELOW::MISSING;
        }
        *full += L"\\" + wide(part);
        *attributes = GetFileAttributesW(full->c_str());
        if (*attributes == INVALID_FILE_ATTRIBUTES) {
            return BELOW::MISSING;
        }
        if (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            return BELOW::OUTSIDE;
        }
    }
    return BELOW::FOUND;
}

} // namespace

// --- Files (decoder_files.h, neighbour_files.h) ---

bool parent_is_neighbourhood(const std::string&, const char*) {
    return false; // neighbours come from the model's own folder only
}

bool open_decoder_files(const char* path, bool with_neighbours, DECODER_FILES* out,
                        std::string* reason) {
    *out = DECODER_FILES{};
    const std::string whole = path ? path : "";
    const size_t slash = whole.find_last_of("/\\");
    const std::string base = slash == std::string::npos ? whole : whole.substr(slash + 1);
    std::string folder_name =
        slash == std::string::npos ? std::string(".") : whole.substr(0, slash + 1);
    const std::wstring name = wide(whole);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (base.empty() || !GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
        *reason = base.empty() ? "is a directory, not a file" : "cannot be found";
        return false;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        *reason = "is a directory, not a file";
        return false;
    }
    // Shared for reading only: the file cannot change while it is decoded.
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *reason = "cannot be opened";
        return false;
    }
    uint64_t size = 0;
    if (!regular_handle(file, &size, reason)) {
        CloseHandle(file);
        return false;
    }
    out->file = descriptor_of(file);
    out->name = base;
    if (out->file < 0) {
        *reason = "cannot be opened";
        return false;
    }
    if (with_neighbours) {
        const HANDLE folder =
            CreateFileW(wide(folder_name).c_str(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        // No folder: the model loads without its neighbours, as one in memory.
        out->folder = folder == INVALID_HANDLE_VALUE ? -1 : descriptor_of(folder);
    }
    reason->clear();
    return true;
}

bool look_at_descriptor(int fd, size_t size, bool (*look)(const uint8_t*, size_t, void*),
                        void* user, bool* answer) {
    const HANDLE mapping = CreateFileMappingW(handle_of(fd), nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size) : nullptr;
    if (view) {
        *answer = look(static_cast<const uint8_t*>(view), size, user);
        UnmapViewOfFile(view);
    }
    if (mapping) {
        CloseHandle(mapping);
    }
    return view != nullptr;
}

void close_decoder_files(DECODER_FILES* files) {
    for (int fd : {files->file, files->folder}) {
        if (fd >= 0) {
            _close(fd);
        }
    }
    *files = DECODER_FILES{};
}

bool read_descriptor(int fd, std::vector<uint8_t>* out, std::string* reason) {
    return read_handle(handle_of(fd), out, reason);
}

bool read_below(int folder, const std::string& path, std::vector<uint8_t>* out,
                std::string* reason) {
    std::wstring full;
    DWORD attributes = 0;
    switch (resolve_below(folder, path, &full, &attributes)) {
    case BELOW::OUTSIDE:
        *reason = "lies outside the folder around the model";
        return false;
    case BELOW::MISSING:
        *reason = "is missing";
        return false;
    case BELOW::FOUND:
        break;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *reason = "is a directory, not a file";
        return false;
    }
    const HANDLE file = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *reason = "cannot be opened";
        return false;
    }
    const bool ok = read_handle(file, out, reason);
    CloseHandle(file);
    return ok;
}

std::string find_below(int folder, const std::string& path) {
    // Names that differ only in case are the same name here.
    std::wstring full;
    DWORD attributes = 0;
    return resolve_below(folder, path, &full, &attributes) == BELOW::FOUND ? path : std::string();
}

bool exists_below(int folder, const std::string& path) {
    std::wstring full;
    DWORD attributes = 0;
    return resolve_below(folder, path, &full, &attributes) == BELOW::FOUND &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// --- The decoder process (decoder_process.h) ---

uint32_t (*decoder_lock_function)(int folder_fd) = nullptr;
void (*decoder_lock_prepare_function)() = nullptr;
void (*decoder_after_lock)(const char* name) = nullptr;
uint64_t decoder_folder_handle = 0;

// The program's lock is the Job object its caller puts it in: there is no
// layer for the program to add to itself.
void decoder_lock_prepare() {}
uint32_t decoder_lock(int) {
    return 0;
}

namespace {

double seconds_since(CLOCK::time_point start) {
    return std::chrono::duration<double>(CLOCK::now() - start).count();
}

bool executable(const std::wstring& path) {
    const DWORD attributes =
        path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring with_exe(const char* path) {
    std::wstring w = wide(path);
    if (w.size() < 4 || _wcsicmp(w.c_str() + w.size() - 4, L".exe") != 0) {
        w += L".exe";
    }
    return w;
}

std::wstring find_decoder(const IMPORT_OPTIONS& options) {
    if (options.decoder) {
        return wide(options.decoder);
    }
    if (const char* from_environment = std::getenv("VEXA_DECODER")) {
        return wide(from_environment);
    }
    // Beside the program, then in the libexec folder of its prefix.
    std::wstring self(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), DWORD(self.size()));
    if (n > 0 && n < self.size()) {
        self.resize(n);
        const std::wstring folder = self.substr(0, self.find_last_of(L"\\/") + 1);
        for (const wchar_t* relative :
             {L"vexa-decode.exe", L"..\\libexec\\vexa\\vexa-decode.exe"}) {
            if (executable(folder + relative)) {
                return folder + relative;
            }
        }
    }
    if (packaged_decoder && executable(with_exe(packaged_decoder))) {
        return with_exe(packaged_decoder);
    }
#ifdef VEXA_INSTALLED_DECODER
    if (executable(with_exe(VEXA_INSTALLED_DECODER))) {
        return with_exe(VEXA_INSTALLED_DECODER);
    }
#endif
    return std::wstring();
}

// One argument as the C runtime's command-line parser takes it back.
void append_argument(std::wstring* line, const std::wstring& argument) {
    if (!line->empty()) {
        *line += L' ';
    }
    *line += L'"';
    size_t slashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
        } else if (c == L'"') {
            line->append(slashes + 1, L'\\');
            slashes = 0;
        } else {
            slashes = 0;
        }
        *line += c;
    }
    line->append(slashes, L'\\');
    *line += L'"';
}

// A copy of handle that the decoder inherits.
HANDLE inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

// The model held in memory, as a file the decoder reads on its standard
// input; it is deleted when the last handle on it closes.
HANDLE memory_file(const void* data, size_t size) {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"vxm", 0, name)) {
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileW(name);
        return file;
    }
    const char* p = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        DWORD n = 0;
        if (!WriteFile(file, p + done, DWORD(std::min<size_t>(size - done, 1u << 24)), &n,
                       nullptr) ||
            n == 0) {
            CloseHandle(file);
            return INVALID_HANDLE_VALUE;
        }
        done += n;
    }
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    return file;
}

struct SPAWNED {
    PROCESS_INFORMATION process{};
    HANDLE job = nullptr;
    HANDLE answer = nullptr; // read end of the decoder's standard output
};

void close_spawned(SPAWNED* child) {
    for (HANDLE h : {child->process.hProcess, child->process.hThread, child->job, child->answer}) {
        if (h) {
            CloseHandle(h);
        }
    }
    *child = SPAWNED{};
}

// Starts the decoder suspended, puts it in its job and lets it run. False
// with reason set when it cannot be started or limited.
bool spawn_decoder(const std::wstring& program, DECODE_KIND kind, const DECODER_FILES* files,
                   HANDLE input, const char* hint, const IMPORT_OPTIONS& options,
                   DECODER_SANDBOX sandbox, SPAWNED* child, std::string* reason) {
    HANDLE write_end = nullptr;
    if (!CreatePipe(&child->answer, &write_end, nullptr, 1 << 20)) {
        *reason = "the decoder cannot be started (no pipe)";
        return false;
    }
    const HANDLE folder =
        files && files->folder >= 0 ? handle_of(files->folder) : INVALID_HANDLE_VALUE;
    HANDLE handed[4] = {inheritable(input), inheritable(write_end), nullptr,
                        folder != INVALID_HANDLE_VALUE ? inheritable(folder) : nullptr};
    CloseHandle(write_end);
    const HANDLE quiet = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    handed[2] = inheritable(quiet);
    if (quiet != INVALID_HANDLE_VALUE) {
        CloseHandle(quiet);
    }
    std::wstring line;
    append_argument(&line, program);
    for (const std::string& argument :
         {std::string("--memory"), std::to_string(options.memory_limit_bytes),
          std::string("--seconds"), std::to_string(options.seconds_limit), std::string("--sandbox"),
          std::to_string(int(sandbox))}) {
        append_argument(&line, wide(argument));
    }
    if (hint) {
        append_argument(&line, L"--hint");
        append_argument(&line, wide(hint));
    }
    if (kind == DECODE_KIND_PICTURE) {
        append_argument(&line, L"--picture");
    }
    if (handed[3]) {
        append_argument(&line, L"--folder");
        append_argument(&line, std::to_wstring(uint64_t(uintptr_t(handed[3]))));
    }
    if (files) {
        append_argument(&line, L"--name");
        append_argument(&line, wide(files->name));
    } else {
        append_argument(&line, L"-");
    }
    // Only the handed handles are inherited, whatever else is inheritable.
    const int handed_count = handed[3] ? 4 : 3;
    SIZE_T list_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
    std::vector<char> list_bytes(list_size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_bytes.data());
    STARTUPINFOEXW start{};
    start.StartupInfo.cb = sizeof start;
    start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    start.StartupInfo.hStdInput = handed[0];
    start.StartupInfo.hStdOutput = handed[1];
    start.StartupInfo.hStdError = handed[2];
    DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP;
    if (InitializeProcThreadAttributeList(list, 1, 0, &list_size) &&
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handed,
                                  sizeof(HANDLE) * size_t(handed_count), nullptr, nullptr)) {
        start.lpAttributeList = list;
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    const bool complete =
        handed[0] && handed[1] && handed[2] && (handed[3] || folder == INVALID_HANDLE_VALUE);
    const bool started =
        complete && CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                                   nullptr, nullptr, &start.StartupInfo, &child->process);
    const DWORD error = GetLastError();
    if (start.lpAttributeList) {
        DeleteProcThreadAttributeList(list);
    }
    for (HANDLE h : handed) {
        if (h) {
            CloseHandle(h);
        }
    }
    if (!started) {
        *reason = complete ? "the decoder cannot be started (error " + std::to_string(error) + ")"
                           : "the decoder cannot be started (no handles)";
        child->process = PROCESS_INFORMATION{};
        return false;
    }
    // The limits are in place before the decoder's first instruction.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_PROCESS_TIME |
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart =
        LONGLONG(std::ceil(std::max(options.seconds_limit, 1.0)) * 1e7);
    limits.ProcessMemoryLimit = SIZE_T(options.memory_limit_bytes);
    child->job = CreateJobObjectW(nullptr, nullptr);
    if (!child->job ||
        !SetInformationJobObject(child->job, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits) ||
        !AssignProcessToJobObject(child->job, child->process.hProcess)) {
        TerminateProcess(child->process.hProcess, KILLED);
        *reason = "the decoder cannot be limited (its Job object was refused)";
        return false;
    }
    ResumeThread(child->process.hThread);
    return true;
}

double cpu_seconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0.0;
    }
    auto ticks = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

uint64_t committed_bytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        return 0;
    }
    return std::max<uint64_t>(counters.PagefileUsage, counters.WorkingSetSize);
}

// Reads the answer until the decoder closes its output (or ends), or until
// a limit ends the wait; the collector bounds it as on Linux.
ENDED read_answer(const SPAWNED& child, const IMPORT_OPTIONS& options, CLOCK::time_point start,
                  std::vector<uint8_t>* answer) try {
    ANSWER_COLLECTOR collector;
    collector.limit = answer_limit(options);
    collector.answer = answer;
    std::vector<uint8_t> chunk(size_t(1) << 18);
    bool ended = false;
    for (;;) {
        DWORD ready = 0;
        if (!PeekNamedPipe(child.answer, nullptr, 0, nullptr, &ready, nullptr)) {
            return ENDED::ANSWERED; // closed: a short answer fails its reading
        }
        if (ready > 0) {
            DWORD n = 0;
            if (!ReadFile(child.answer, chunk.data(), std::min<DWORD>(ready, DWORD(chunk.size())),
                          &n, nullptr)) {
                return ENDED::ANSWERED;
            }
            if (!collector.take(chunk.data(), n)) {
                return ENDED::TOO_LONG_ANSWER;
            }
            continue;
        }
        if (ended) {
            return ENDED::ANSWERED; // it ended and everything it wrote is read
        }
        ended = WaitForSingleObject(child.process.hProcess, POLL_MS) == WAIT_OBJECT_0;
        if (options.keep_waiting && !options.keep_waiting(options.user)) {
            return ENDED::ABANDONED;
        }
        if (seconds_since(start) > options.seconds_limit) {
            return ENDED::TIME;
        }
        if (cpu_seconds(child.process.hProcess) > options.seconds_limit) {
            return ENDED::CPU;
        }
        if (committed_bytes(child.process.hProcess) > options.memory_limit_bytes) {
            return ENDED::MEMORY;
        }
    }
} catch (const std::bad_alloc&) {
    answer->clear();
    answer->shrink_to_fit();
    return ENDED::NO_ROOM;
}

// The wording of a decoder's exit code, as Linux words the signal behind the
// same fault; "" for a clean exit.
std::string failure_words(DWORD code, const IMPORT_OPTIONS& options) {
    const char* signal = nullptr;
    switch (code) {
    case 0:
        return std::string();
    case KILLED_CPU:
    case 0xC0000044:             // STATUS_QUOTA_EXCEEDED
    case ERROR_NOT_ENOUGH_QUOTA: // the job's CPU-time limit
        return "the decoder used up its " + seconds_words(options.seconds_limit) + " of CPU time";
    case EXIT_NO_JOB:
        return "the decoder's sandbox cannot be set up here (no Job object)";
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_IN_PAGE_ERROR:
        signal = "SIGSEGV";
        break;
    case EXCEPTION_DATATYPE_MISALIGNMENT:
        signal = "SIGBUS";
        break;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
        signal = "SIGILL";
        break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
        signal = "SIGFPE";
        break;
    case 3:          // abort()
    case 0xC0000409: // a fast fail: the runtime's own abort
        signal = "SIGABRT";
        break;
    case EXCEPTION_BREAKPOINT:
        signal = "SIGTRAP";
        break;
    case KILLED:
        signal = "SIGKILL";
        break;
    default:
        break;
    }
    if (signal) {
        return std::string("the decoder crashed (") + signal + ")";
    }
    if (code >= 0xC0000000u) {
        char text[64];
        std::snprintf(text, sizeof text, "the decoder crashed (exception 0x%08lX)",
                      static_cast<unsigned long>(code));
        return text;
    }
    return "the decoder failed (exit status " + std::to_string(code) + ")";
}

DECODER_SANDBOX sandbox_mode(const IMPORT_OPTIONS& options) {
    const char* chosen = std::getenv("VEXA_DECODER_SANDBOX");
    if (chosen && !std::strcmp(chosen, "required")) {
        return DECODER_SANDBOX_REQUIRED;
    }
    if (chosen && !std::strcmp(chosen, "off")) {
        return DECODER_SANDBOX_OFF;
    }
    return options.sandbox;
}

} // namespace

// One decode in the decoder program (decoder_process.h).
DECODE_STATUS run_decoder(DECODE_KIND kind, const DECODER_FILES* files, const void* data,
                          size_t size, const char* hint, const IMPORT_OPTIONS& options,
                          std::vector<uint8_t>* answer, std::string* reason) {
    const std::wstring program = find_decoder(options);
    if (!executable(program)) {
        *reason = "the decoder vexa-decode cannot be found";
        return DECODE_REFUSED;
    }
    const HANDLE input = files ? handle_of(files->file) : memory_file(data, size);
    if (input == INVALID_HANDLE_VALUE) {
        *reason = "the decoder cannot be started (no file handles)";
        return DECODE_REFUSED;
    }
    const CLOCK::time_point start = CLOCK::now();
    SPAWNED child;
    const bool started = spawn_decoder(program, kind, files, input, hint, options,
                                       sandbox_mode(options), &child, reason);
    if (!files) {
        CloseHandle(input);
    }
    if (!started) {
        close_spawned(&child);
        return DECODE_REFUSED;
    }
    const ENDED ended = read_answer(child, options, start, answer);
    // Answered: it has a second to end on its own; otherwise it ends now.
    if (ended != ENDED::ANSWERED ||
        WaitForSingleObject(child.process.hProcess, 1000) != WAIT_OBJECT_0) {
        TerminateProcess(child.process.hProcess, ended == ENDED::CPU ? KILLED_CPU : KILLED);
        WaitForSingleObject(child.process.hProcess, 5000);
    }
    DWORD code = KILLED;
    const bool known = GetExitCodeProcess(child.process.hProcess, &code) && code != STILL_ACTIVE;
    close_spawned(&child);
    if (ended != ENDED::ANSWERED) {
        return unanswered(ended, options, reason);
    }
    if (!known) {
        *reason = "the decoder failed (its end could not be observed)";
        return DECODE_REFUSED;
    }
    *reason = failure_words(code, options);
    return reason->empty() ? DECODE_LOADED : DECODE_REFUSED;
}

namespace {

LONG WINAPI end_on_fault(EXCEPTION_POINTERS* fault) {
    TerminateProcess(GetCurrentProcess(), UINT(fault->ExceptionRecord->ExceptionCode));
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

namespace {

struct DECODE_REQUEST {
    DECODE_KIND kind;
    const char* name;
    bool has_folder;
    const char* hint;
    int status = 1;
    bool finished = false; // false once the thread has ended: it died
};

// The decode itself, on a thread of its own (decoder_main says why).
DWORD WINAPI decode_thread(void* argument) {
    DECODE_REQUEST& request = *static_cast<DECODE_REQUEST*>(argument);
    const char* name = request.name;
    DECODER_FILES files;
    files.file = 0;
    files.folder = request.has_folder && decoder_folder_handle
                       ? _open_osfhandle(intptr_t(decoder_folder_handle), _O_RDONLY)
                       : -1;
    files.name = name ? name : "";
    std::vector<uint8_t> input;
    std::string reason;
    DECODE_STATUS status = DECODE_REFUSED;
    DECODED_MODEL model;
    PICTURE picture;
    try {
        if (!name && !read_descriptor(0, &input, &reason)) {
            request.status = EXIT_BAD_REQUEST;
            request.finished = true;
            return 0;
        }
        if (request.kind == DECODE_KIND_PICTURE) {
            status = (!name || read_descriptor(0, &input, &reason)) &&
                             decode_picture(input.data(), input.size(), name ? name : request.hint,
                                            &picture, &reason)
                         ? DECODE_LOADED
                         : DECODE_REFUSED;
        } else {
            status = decode_model(name ? &files : nullptr, input.data(), input.size(), request.hint,
                                  &model, &reason);
        }
    } catch (const std::bad_alloc&) {
        status = DECODE_OUT_OF_MEMORY;
    }
    if (status == DECODE_OUT_OF_MEMORY) {
        model = DECODED_MODEL{};
        picture = PICTURE{};
    }
    const bool sent = request.kind == DECODE_KIND_PICTURE
                          ? decoded_picture_send(1, status, picture, reason)
                          : decoded_model_send(1, status, model, reason);
    request.status = sent ? 0 : 1;
    request.finished = true;
    return 0;
}

} // namespace

// The limit decoder_memory_windows.cpp checks in the decoder program.
uint64_t decoder_memory_limit = 0;

int decoder_main(DECODE_KIND kind, const char* name, bool has_folder, const char* hint,
                 uint64_t memory_limit_bytes, double, DECODER_SANDBOX sandbox) {
    decoder_memory_limit = memory_limit_bytes;
    // A crash ends the process with its exception code, never a dialog or
    // a debugger: the job's flag does that on Windows, the filter under
    // Wine, which ignores both the flag and the error mode and starts its
    // debugger (which writes its report into the answer's pipe and waits).
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(end_on_fault);
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    // The limits are the caller's Job object; without one, REQUIRED refuses.
    BOOL in_job = FALSE;
    if (sandbox == DECODER_SANDBOX_REQUIRED &&
        (!IsProcessInJob(GetCurrentProcess(), nullptr, &in_job) || !in_job)) {
        return EXIT_NO_JOB;
    }
    if (decoder_after_lock) {
        decoder_after_lock(name ? name : "");
    }
    // The decode runs on a thread with Linux's 8 MB of stack, watched from
    // here: Wine cannot raise a stack overflow on a thread whose stack is
    // used up and ends the thread quietly, which reads here as what it is.
    DECODE_REQUEST request{kind, name, has_folder, hint};
    const HANDLE thread = CreateThread(nullptr, 8 << 20, decode_thread, &request,
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        return 1;
    }
    WaitForSingleObject(thread, INFINITE);
    if (!request.finished) {
        TerminateProcess(GetCurrentProcess(), UINT(EXCEPTION_STACK_OVERFLOW));
    }
    return request.status;
}

int decoder_serve() {
    return 1; // no fork here: every decode starts the program
}

void decoder_prepare(const IMPORT_OPTIONS&) {}
