"""A network label printer simulated on loopback for tests: it takes label
programs on its raw port at a printer's pace, answers the status query
(ESC ! ?) with the byte the test sets, and can drop the connection, refuse
connections for a while, stop reading, or never answer the query."""

import re
import socket
import threading
import time

from app_server import LABEL_END

QUERY = b"\x1b!?"
BITMAP = re.compile(rb"BITMAP (\d+),(\d+),(\d+),(\d+),(\d+),")


class SimulatedPrinter:
    def __init__(self, seconds_a_label=0.1):
        self.status = 0              # the answer to the status query
        self.answers = True          # False: the query is never answered
        self.seconds_a_label = seconds_a_label
        self.drop_after = None       # labels taken before the connection is dropped once
        self.drop_inside = False     # True: dropped only near the end of the label after those
        self.away_for = 1.0          # seconds no connection is taken after the drop
        self.stop_reading_after = None  # labels taken before it reads no more
        self.reset_buffered_after = None  # labels printed before it takes one more whole into
        #                                   its buffer and is reset, losing it
        self.reset_idle_after = None  # labels printed before it reads nothing for a second
        #                               and is reset, losing what was on its way
        self.connections = []        # what each connection brought, queries left out
        self.queries = []            # the status queries each connection asked
        self.lock = threading.Lock()
        self.closing = False
        self.listener = self.listen(0)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    @property
    def uri(self):
        return f"socket://127.0.0.1:{self.port}"

    def listen(self, port):
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        # A printer's own buffer is small: little is in flight.
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        listener.bind(("127.0.0.1", port))
        listener.listen(4)
        listener.settimeout(0.2)
        return listener

    def close(self):
        self.closing = True
        self.thread.join(timeout=10)
        self.listener.close()

    def jobs(self):
        """The connections that brought labels (the others only asked), and
        the queries each of those asked."""
        with self.lock:
            return [(data, asked) for data, asked in zip(self.connections, self.queries) if data]

    def labels(self):
        """Every label program received, in order, over all connections."""
        with self.lock:
            stream = b"".join(self.connections)
        return stream.count(LABEL_END)

    def serve(self):
        while not self.closing:
            try:
                connection, _ = self.listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            with connection:
                dropped = self.take(connection)
            if dropped:
                self.listener.close()
                time.sleep(self.away_for)
                self.listener = self.listen(self.port)

    def take(self, connection):
        """Reads one connection; True when it was dropped on purpose."""
        with self.lock:
            self.connections.append(b"")
            self.queries.append(0)
            index = len(self.connections) - 1
        connection.settimeout(0.2)
        pending, labels = b"", 0
        while not self.closing:
            if self.stop_reading_after is not None and self.labels() >= self.stop_reading_after:
                time.sleep(0.1)
                continue
            if self.reset_idle_after is not None and self.labels() >= self.reset_idle_after:
                self.reset_idle_after = None
                time.sleep(1.0)
                return self.reset(connection)
            try:
                data = connection.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                return False
            if not data:
                return False
            pending += data
            if self.reset_buffered_after is not None and \
                    self.labels() >= self.reset_buffered_after:
                if pending.count(LABEL_END) >= 1:
                    # The next label came whole and, a moment later, is
                    # acknowledged; the reset takes it with it, unprinted.
                    self.reset_buffered_after = None
                    time.sleep(0.5)
                    return self.reset(connection)
                continue
            if self.drop_inside and self.drop_after is not None and \
                    self.labels() >= self.drop_after and self.near_label_end(pending):
                self.drop_after = None
                return self.reset(connection)
            pending, taken = self.parse(connection, pending, index)
            for _ in range(taken):
                labels += 1
                time.sleep(self.seconds_a_label)
                if not self.drop_inside and self.drop_after is not None and \
                        self.labels() >= self.drop_after:
                    self.drop_after = None
                    return self.reset(connection)
        return False

    @staticmethod
    def reset(connection):
        """Drops the connection as a printer switched off does: what it had
        not read is lost."""
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                              b"\x01\x00\x00\x00\x00\x00\x00\x00")
        return True

    @staticmethod
    def near_label_end(pending):
        """Whether the bitmap `pending` starts has come all but its last
        16 KiB: by then the sender has written all of it and gone on."""
        match = BITMAP.match(pending)
        return bool(match) and \
            match.end() + int(match.group(3)) * int(match.group(4)) - len(pending) <= 16384

    def parse(self, connection, pending, index):
        """Takes what can be taken of `pending`: status queries answered,
        bitmaps whole; what is left and how many labels ended."""
        taken = 0
        while pending:
            if pending.startswith(QUERY):
                self.queries[index] += 1
                if self.answers:
                    connection.sendall(bytes([self.status]))
                pending = pending[len(QUERY):]
                continue
            if len(pending) < len(QUERY) and QUERY.startswith(pending):
                break
            match = BITMAP.match(pending)
            if match:
                size = match.end() + int(match.group(3)) * int(match.group(4))
                if len(pending) < size:
                    break
                chunk, pending = pending[:size], pending[size:]
            elif pending.startswith(b"BITMAP") and len(pending) < 64:
                break
            else:
                chunk, pending = pending[:1], pending[1:]
            with self.lock:
                self.connections[index] += chunk
                taken += self.connections[index].endswith(LABEL_END)
        return pending, taken
