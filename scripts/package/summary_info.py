#!/usr/bin/env python3
"""Rewrites an MSI's summary information stream in Japanese.

wixl writes the summary information in code page 1252 with the template "x64;1033" and English
comments. Windows shows these texts (file properties, the installer's title) in the stream's own
code page, so the texts are written here in code page 932 with that code page named, the template
language set to 1041 and Japanese subject and comments. Every other property is kept as it is.

    summary_info.py MSI SUBJECT COMMENTS

The stream is rewritten in place at its old size (olefile writes existing streams only at their
size): the Japanese texts are shorter in code page 932 than wixl's English, and the bytes after
the property section are zero.
"""
import struct
import sys

import olefile

STREAM = "\x05SummaryInformation"

VT_I2, VT_I4, VT_LPSTR, VT_FILETIME = 2, 3, 30, 64
PID_CODEPAGE, PID_SUBJECT, PID_COMMENTS, PID_TEMPLATE = 1, 3, 6, 7


def read_properties(data):
    section = struct.unpack_from("<I", data, 44)[0]
    count = struct.unpack_from("<I", data, section + 4)[0]
    properties = []
    for i in range(count):
        pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
        at = section + offset
        kind = struct.unpack_from("<I", data, at)[0]
        if kind == VT_LPSTR:
            length = struct.unpack_from("<I", data, at + 4)[0]
            value = data[at + 8:at + 8 + length].rstrip(b"\0").decode("utf-8")
        elif kind == VT_I2:
            value = struct.unpack_from("<h", data, at + 4)[0]
        elif kind == VT_I4:
            value = struct.unpack_from("<i", data, at + 4)[0]
        elif kind == VT_FILETIME:
            value = data[at + 4:at + 12]
        else:
            raise SystemExit(f"summary property {pid} has an unknown type {kind}")
        properties.append((pid, kind, value))
    return data[:48], properties


def encode(kind, value, codepage):
    if kind == VT_LPSTR:
        text = value.encode(codepage) + b"\0"
        text += b"\0" * (-len(text) % 4)
        return struct.pack("<II", kind, len(text)) + text
    if kind == VT_I2:
        return struct.pack("<IhH", kind, value, 0)
    if kind == VT_I4:
        return struct.pack("<Ii", kind, value)
    return struct.pack("<I", kind) + value


def main():
    path, subject, comments = sys.argv[1:4]
    ole = olefile.OleFileIO(path, write_mode=True)
    data = ole.openstream(STREAM).read()
    header, properties = read_properties(data)
    rewritten = []
    for pid, kind, value in properties:
        if pid == PID_CODEPAGE:
            value = 932
        elif pid == PID_SUBJECT:
            value = subject
        elif pid == PID_COMMENTS:
            value = comments
        elif pid == PID_TEMPLATE:
            value = value.split(";")[0] + ";1041"
        rewritten.append((pid, kind, value))
    bodies = [encode(kind, value, "cp932") for _, kind, value in rewritten]
    offset = 8 + 8 * len(rewritten)
    table = b""
    for (pid, _, _), body in zip(rewritten, bodies):
        table += struct.pack("<II", pid, offset)
        offset += len(body)
    section = struct.pack("<II", offset, len(rewritten)) + table + b"".join(bodies)
    stream = header + section
    if len(stream) > len(data):
        raise SystemExit("the Japanese summary information is longer than the stream")
    ole.write_stream(STREAM, stream + b"\0" * (len(data) - len(stream)))
    ole.close()


if __name__ == "__main__":
    main()
