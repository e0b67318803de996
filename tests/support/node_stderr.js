// Run before main in the browser build's unit tests under Node (NODERAWFS):
// makes the standard streams duplicable, so GoogleTest's capture of stderr
// (dup of descriptor 2, dup2 of a temporary file over it, dup2 back) works.
// Emscripten duplicates a descriptor by opening its path again, and its
// standard streams have none; the temporary file (mkstemp) is reopened with
// O_EXCL, which fails on a file that exists; and closing descriptor 2 there
// closes Node's own, after which Node hands the number to the next file.
// The standard streams exist once the runtime's file system has started:
// the change runs first among the start-up calls, before any constructor.
Module['preRun'] = [].concat(Module['preRun'] || [], function () {
    addOnInit(make_standard_streams_duplicable);
});

function make_standard_streams_duplicable() {
    var O_WRONLY = 1, O_CREAT = 64, O_EXCL = 128, O_TRUNC = 512, O_APPEND = 1024;
    var STANDARD = { '/dev/stdout': true, '/dev/stderr': true };
    FS.streams[1].path = '/dev/stdout';
    FS.streams[2].path = '/dev/stderr';
    var open = FS.open;
    FS.open = function (path, flags, mode, suggestFD) {
        if (!STANDARD[path]) {
            return open(path, flags, mode, suggestFD);
        }
        // Appending, never truncating: stderr may be a log file.
        var stream = open(path, O_WRONLY | O_APPEND, mode, suggestFD);
        stream.flags = O_WRONLY; // written where the descriptor stands
        stream.seekable = false;
        return stream;
    };
    var duplicate = SYSCALLS.doDup;
    SYSCALLS.doDup = function (path, flags, suggestFD) {
        // A duplicate never creates or truncates its file.
        return duplicate(path, flags & ~(O_CREAT | O_EXCL | O_TRUNC), suggestFD);
    };
    var close = FS.close;
    FS.close = function (stream) {
        if (stream.nfd <= 2 && !stream.stream_ops) {
            FS.closeStream(stream.fd); // Node's own standard stream stays open
            return;
        }
        return close(stream);
    };
}
