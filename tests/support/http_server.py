"""A loopback HTTP server for the update tests.

Serves the files of the folder given as its argument, and answers a few paths of its own:
  /status/<code>   that status, with a short body
  /redirect        302 to /feed.xml
  /big/<n>         n bytes of "x"
  /close/<n>       n bytes of "x" without a length, ended by closing the connection
  /short/<n>       announces 2n bytes, sends n, closes
  /stall/<n>       announces 10n bytes, sends n, then says nothing more
  /silent          accepts the request and never answers
Prints "PORT <n>" once it listens on 127.0.0.1.
"""
import http.server
import socketserver
import sys
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_bytes(self, status, body, length=None, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        self.close_connection = True

    def do_GET(self):
        parts = self.path.split("?")[0].strip("/").split("/")
        kind = parts[0]
        number = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
        if kind == "status":
            body = b"status page"
            self.send_bytes(number, body, len(body))
        elif kind == "redirect":
            self.send_bytes(302, b"", 0, [("Location", "/feed.xml")])
        elif kind == "big":
            self.send_bytes(200, b"x" * number, number)
        elif kind == "close":
            self.send_bytes(200, b"x" * number)
        elif kind == "short":
            self.send_bytes(200, b"x" * number, 2 * number)
        elif kind == "stall":
            self.send_bytes(200, b"x" * number, 10 * number)
            time.sleep(3600)
        elif kind == "silent":
            time.sleep(3600)
        else:
            super().do_GET()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    root = sys.argv[1]
    server = Server(("127.0.0.1", 0), lambda *args: Handler(*args, directory=root))
    print("PORT", server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
