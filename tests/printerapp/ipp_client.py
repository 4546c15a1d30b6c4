"""A small IPP client for tests that must see every answer themselves: a
busy printer's server-error-busy, sent again as CUPS, phones and Windows do,
and Cancel-Job at a moment of the test's choosing."""

import http.client
import struct

PRINT_JOB, CANCEL_JOB, GET_JOB_ATTRIBUTES, GET_PRINTER_ATTRIBUTES = 0x0002, 0x0008, 0x0009, 0x000B
OK, BUSY = 0x0000, 0x0507

OPERATION_GROUP, JOB_GROUP, END = 0x01, 0x02, 0x03
INTEGER, BOOLEAN, ENUM = 0x21, 0x22, 0x23
TEXT, NAME, KEYWORD, URI, CHARSET, LANGUAGE, MIME = 0x41, 0x42, 0x44, 0x45, 0x47, 0x48, 0x49

JOB_STATES = {3: "pending", 4: "pending-held", 5: "processing", 6: "processing-stopped",
              7: "canceled", 8: "aborted", 9: "completed"}


def _attribute(tag, name, value):
    if tag in (INTEGER, ENUM):
        data = struct.pack(">i", value)
    elif tag == BOOLEAN:
        data = b"\x01" if value else b"\x00"
    else:
        data = value.encode()
    return struct.pack(">BH", tag, len(name)) + name.encode() + struct.pack(">H", len(data)) + data


def request(operation, request_id, attributes, job_attributes=()):
    """An IPP/2.0 request: operation attributes after the charset and the
    language, then job attributes; (tag, name, value) triples."""
    out = struct.pack(">BBHI", 2, 0, operation, request_id) + bytes([OPERATION_GROUP])
    out += _attribute(CHARSET, "attributes-charset", "utf-8")
    out += _attribute(LANGUAGE, "attributes-natural-language", "en")
    previous = None
    for tag, name, value in attributes:
        # A further value of the same attribute goes without its name.
        out += _attribute(tag, "" if name == previous else name, value)
        previous = name
    if job_attributes:
        out += bytes([JOB_GROUP])
        for tag, name, value in job_attributes:
            out += _attribute(tag, name, value)
    return out + bytes([END])


def parse(response):
    """The status and the attributes of an IPP response: {name: [values]},
    integers as int, the rest as text."""
    status = struct.unpack(">H", response[2:4])[0]
    attributes, offset, name = {}, 8, None
    while offset < len(response):
        tag = response[offset]
        offset += 1
        if tag == END:
            break
        if tag < 0x10:
            continue
        length = struct.unpack(">H", response[offset:offset + 2])[0]
        if length:
            name = response[offset + 2:offset + 2 + length].decode()
        offset += 2 + length
        length = struct.unpack(">H", response[offset:offset + 2])[0]
        raw = response[offset + 2:offset + 2 + length]
        offset += 2 + length
        value = struct.unpack(">i", raw)[0] if tag in (INTEGER, ENUM) and length == 4 else \
            raw.decode(errors="replace")
        attributes.setdefault(name, []).append(value)
    return status, attributes


class Client:
    """One printer of a server on loopback."""

    def __init__(self, port, printer):
        self.port = port
        self.resource = f"/ipp/print/{printer}"
        self.uri = f"ipp://127.0.0.1:{port}{self.resource}"
        self.request_id = 0

    def send(self, operation, attributes, job_attributes=(), document=b""):
        self.request_id += 1
        body = request(operation, self.request_id,
                       [(URI, "printer-uri", self.uri)] + list(attributes), job_attributes)
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=120)
        try:
            connection.request("POST", self.resource, body + document,
                               {"Content-Type": "application/ipp"})
            return parse(connection.getresponse().read())
        finally:
            connection.close()

    def print_job(self, document, format, job_name, job_attributes=()):
        """Print-Job: (status, job ID or None)."""
        status, attributes = self.send(
            PRINT_JOB, [(NAME, "requesting-user-name", "test"), (NAME, "job-name", job_name),
                        (MIME, "document-format", format)], job_attributes, document)
        return status, attributes.get("job-id", [None])[0]

    def cancel_job(self, job_id):
        return self.send(CANCEL_JOB, [(INTEGER, "job-id", job_id),
                                      (NAME, "requesting-user-name", "test")])[0]

    def job(self, job_id):
        """The job's state (a name, as JOB_STATES gives it) and attributes."""
        status, attributes = self.send(GET_JOB_ATTRIBUTES, [(INTEGER, "job-id", job_id),
                                                            (NAME, "requesting-user-name",
                                                             "test")])
        state = JOB_STATES.get(attributes.get("job-state", [0])[0], "unknown")
        return state, attributes

    def printer(self):
        """The printer's state reasons (a list) and state message."""
        _, attributes = self.send(GET_PRINTER_ATTRIBUTES, [
            (KEYWORD, "requested-attributes", "printer-state-reasons"),
            (KEYWORD, "requested-attributes", "printer-state-message")])
        return attributes.get("printer-state-reasons", []), \
            attributes.get("printer-state-message", [""])[0]
