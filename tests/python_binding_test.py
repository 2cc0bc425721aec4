"""The Python module over the real library: run in a private mount namespace
with the dual-battery fixture over /sys/class/power_supply.
    python_binding_test.py LIBRARY FIXTURE"""
import json
import os
import sys
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "bindings", "python"))
import ambrel  # noqa: E402

LIBRARY, FIXTURE = sys.argv[1], sys.argv[2]


def expected(name):
    with open(os.path.join(FIXTURE, name), encoding="utf-8") as f:
        return json.load(f)


class module(unittest.TestCase):
    def test_status_and_power_are_the_parsed_answers(self):
        library = ambrel.Library(LIBRARY)
        self.assertEqual(library.status(), expected("expected.txt"))
        self.assertEqual(library.power(), expected("expected-power.txt"))
        self.assertEqual(library.power()["batteries"][1]["charge_limit_pct"], 80)

    def test_module_functions_use_the_library_load_chose(self):
        self.assertEqual(ambrel.load(LIBRARY).path, LIBRARY)
        self.assertEqual(ambrel.status(), expected("expected.txt"))
        self.assertEqual(ambrel.power()["state"], "discharging")

    def test_the_library_is_found_by_its_file_name(self):
        # The test runs with the library's folder on the loader's path.
        self.assertEqual(ambrel.Library().power(), expected("expected-power.txt"))

    def test_many_threads_each_get_whole_answers(self):
        library = ambrel.Library(LIBRARY)
        status, power = expected("expected.txt"), expected("expected-power.txt")
        wrong = []

        def caller():
            for _ in range(200):
                if library.status() != status or library.power() != power:
                    wrong.append(1)

        threads = [threading.Thread(target=caller) for _ in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(wrong, [])

    def test_a_library_that_cannot_be_loaded_is_a_clear_error(self):
        with self.assertRaises(ambrel.AmbrelError) as caught:
            ambrel.Library("/nonexistent/libambrel.so.1")
        self.assertIn("cannot load the ambrel library '/nonexistent/libambrel.so.1'", str(caught.exception))
        self.assertIsInstance(caught.exception, OSError)

    def test_another_library_is_a_clear_error(self):
        with self.assertRaises(ambrel.AmbrelError) as caught:
            ambrel.Library("libc.so.6")
        self.assertIn("is not the ambrel library", str(caught.exception))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
