#!/usr/bin/env python3
"""Serves build/web on 127.0.0.1 with the headers that make the page
cross-origin isolated (what browser threads need) and the WebAssembly type.

    python3 scripts/serve-web.py [--not-isolated] [--folder DIR] [PORT]
        PORT: default 8080; 0 picks a free one
        --not-isolated: without the isolation headers, as an ordinary web
        server would serve it (the page then runs its one-thread build)
        --folder DIR: serves DIR (a project's build folder) instead

Prints "serving http://127.0.0.1:PORT/vexa.html" (with --folder:
"serving http://127.0.0.1:PORT/") once it listens."""
import functools
import http.server
import os
import sys


class IsolatedHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".js": "text/javascript",
        ".data": "application/octet-stream",
    }

    isolated = True

    def end_headers(self):
        if self.isolated:
            self.send_header("Cross-Origin-Opener-Policy", "same-origin")
            self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, format, *args):
        pass  # quiet: the test reads the browser's output, not the server's


def main():
    arguments = sys.argv[1:]
    if "--not-isolated" in arguments:
        arguments.remove("--not-isolated")
        IsolatedHandler.isolated = False
    folder, page = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "web"), "vexa.html"
    if "--folder" in arguments:
        at = arguments.index("--folder")
        folder, page = arguments[at + 1], ""
        del arguments[at:at + 2]
    port = int(arguments[0]) if arguments else 8080
    handler = functools.partial(IsolatedHandler, directory=folder)
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        print(f"serving http://127.0.0.1:{server.server_address[1]}/{page}", flush=True)
        server.serve_forever()


if __name__ == "__main__":
    main()
