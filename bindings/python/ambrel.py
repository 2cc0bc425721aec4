"""The machine's battery state through the ambrel library.

    import ambrel
    ambrel.status()   # {'present': True, 'percent': 87, 'charging': False, ...}
    ambrel.power()    # {'ac_online': False, 'state': 'discharging', ..., 'batteries': [...]}

Every call asks the system afresh and returns the library's answer parsed
into a dictionary (the README documents every member). The library is found
by the system's loader under its file name (libambrel.so.1 on Linux,
ambrel.dll on Windows), or at a path given to load() or Library(). The
library's answers live in buffers shared by the whole process, so every call
through this module, from any thread, takes one lock.
"""
import ctypes
import json
import sys
import threading

__all__ = ["AmbrelError", "Library", "load", "status", "power"]


class AmbrelError(OSError):
    """The ambrel library could not be loaded, or is not the ambrel library."""


# One lock for every Library object: a library loaded twice is still one
# library with one set of buffers.
_lock = threading.Lock()
_load_lock = threading.Lock()
_default = None


def _file_name():
    if sys.platform == "win32":
        return "ambrel.dll"
    if sys.platform == "darwin":
        return "libambrel.1.dylib"
    return "libambrel.so.1"


class Library:
    """The ambrel library, loaded from path, or by its file name."""

    def __init__(self, path=None):
        self.path = path or _file_name()
        try:
            self._library = ctypes.CDLL(self.path)
        except OSError as error:
            raise AmbrelError(f"cannot load the ambrel library {self.path!r}: {error}") from error
        try:
            self._status = self._library.ambrel_status
            self._power = self._library.ambrel_power
        except AttributeError as error:
            raise AmbrelError(f"{self.path!r} is not the ambrel library: {error}") from error
        for function in (self._status, self._power):
            # c_char_p copies the text into bytes as the call returns, inside the lock.
            function.restype = ctypes.c_char_p
            function.argtypes = []

    def _ask(self, function):
        with _lock:
            text = function()
        return json.loads(text.decode("utf-8"))

    def status(self):
        """ambrel_status's answer: the machine's battery."""
        return self._ask(self._status)

    def power(self):
        """ambrel_power's answer: the power source and every battery."""
        return self._ask(self._power)


def load(path=None):
    """Loads the library (from path, or by its file name) for status() and power()."""
    global _default
    library = Library(path)
    with _load_lock:
        _default = library
    return library


def _library():
    global _default
    with _load_lock:   # two first calls at once load it once
        if _default is None:
            _default = Library()
        return _default


def status():
    """ambrel_status's answer, from the library load() chose (by default its file name)."""
    return _library().status()


def power():
    """ambrel_power's answer, from the library load() chose (by default its file name)."""
    return _library().power()
