"""A foreign host: Python's ctypes loads the shared library and reads its answers."""
import ctypes
import json
import sys

library = ctypes.CDLL(sys.argv[1])
library.ambrel_status.restype = ctypes.c_char_p
library.ambrel_status.argtypes = []
library.ambrel_last_error.restype = ctypes.c_char_p
library.ambrel_last_error.argtypes = []
library.ambrel_free_string.restype = None
library.ambrel_free_string.argtypes = [ctypes.c_char_p]

assert library.ambrel_last_error() == b"", "last error must be empty before any call"
text = library.ambrel_status()
answer = json.loads(text.decode("utf-8"))
assert isinstance(answer, dict) and isinstance(answer.get("present"), bool), answer
library.ambrel_free_string(text)
library.ambrel_free_string(None)
assert library.ambrel_status() == text, "two calls on an unchanged machine give the same text"
print("ctypes host read:", text.decode("utf-8"))
