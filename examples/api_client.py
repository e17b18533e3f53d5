#!/usr/bin/env python3
"""A reference client of the remote-control API (docs/api.md), standard library only.

  api_client.py [--host 127.0.0.1] [--port 39021] [--token T] get PATH...
  api_client.py ... set PATH=VALUE...          (numbers raw, anything else a name)
  api_client.py ... subscribe [PATH...] [--meters HZ]   prints notifications until Ctrl-C
  api_client.py ... call METHOD [JSON-PARAMS]
"""
import argparse
import itertools
import json
import socket
import sys


class ApiError(Exception):
    def __init__(self, error):
        super().__init__(f"{error.get('code')}: {error.get('message')}")
        self.error = error


class Client:
    def __init__(self, host, port, token=None, timeout=10.0):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.file = self.sock.makefile("rwb")
        self.ids = itertools.count(1)
        self.pending = []  # notifications that arrived while an answer was awaited
        if token is not None:
            self.call("auth", {"token": token})

    def send(self, obj):
        self.file.write(json.dumps(obj, separators=(",", ":")).encode() + b"\n")
        self.file.flush()

    def read(self):
        line = self.file.readline()
        if not line:
            raise ConnectionError("the server closed the connection")
        return json.loads(line)

    def call(self, method, params=None):
        rid = next(self.ids)
        req = {"jsonrpc": "2.0", "id": rid, "method": method}
        if params is not None:
            req["params"] = params
        self.send(req)
        while True:
            msg = self.read()
            if "id" not in msg:
                self.pending.append(msg)
                continue
            if "error" in msg:
                raise ApiError(msg["error"])
            if msg["id"] == rid:
                return msg["result"]

    def notifications(self):
        while self.pending:
            yield self.pending.pop(0)
        self.sock.settimeout(None)
        while True:
            yield self.read()


def value_of(text):
    try:
        return int(text)
    except ValueError:
        return text


def main():
    ap = argparse.ArgumentParser(description="remote-control API client")
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=39021)
    ap.add_argument("--token")
    ap.add_argument("command", choices=["get", "set", "subscribe", "call"])
    ap.add_argument("args", nargs="*")
    ap.add_argument("--meters", type=float)
    a = ap.parse_args()

    try:
        c = Client(a.host, a.port, a.token)
        if a.command == "get":
            print(json.dumps(c.call("get", {"paths": a.args}), ensure_ascii=False))
        elif a.command == "set":
            params = {}
            for item in a.args:
                path, sep, val = item.partition("=")
                if not sep:
                    sys.exit(f"api_client: set: {item!r} is not PATH=VALUE")
                params[path] = value_of(val)
            print(json.dumps(c.call("set", params), ensure_ascii=False))
        elif a.command == "subscribe":
            params = {"paths": a.args or "all"}
            if a.meters:
                params["meters"] = a.meters
            print(json.dumps(c.call("subscribe", params)))
            for note in c.notifications():
                print(json.dumps(note, ensure_ascii=False), flush=True)
        else:
            if not a.args:
                sys.exit("api_client: call needs METHOD")
            params = json.loads(a.args[1]) if len(a.args) > 1 else None
            print(json.dumps(c.call(a.args[0], params), ensure_ascii=False))
    except ApiError as e:
        sys.exit(f"api_client: {e}")
    except (OSError, ConnectionError) as e:
        sys.exit(f"api_client: {e}")
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
