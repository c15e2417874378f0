#!/usr/bin/env python3
"""The layer check passes on the real tree and fails on planted faults."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPT = os.path.join(ROOT, "scripts", "check-layers.py")


def run(root):
    p = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
    return p.returncode, p.stdout


def make_tree(files):
    root = tempfile.mkdtemp(prefix="layers-")
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(text)
    return root


class LayerCheck(unittest.TestCase):
    def test_real_tree_passes(self):
        code, out = run(ROOT)
        self.assertEqual(code, 0, out)

    def test_planted_upward_include_in_a_copy_of_the_real_tree(self):
        copy = tempfile.mkdtemp(prefix="layers-copy-")
        try:
            for top in ("dsp", "params", "gfx", "classlib", "platform", "host"):
                shutil.copytree(os.path.join(ROOT, top), os.path.join(copy, top))
            engine = os.path.join(copy, "dsp", "talvern.cpp")
            with open(engine, "a") as f:
                f.write('\n#include "host/VSTEffectBase.h"\n')
            code, out = run(copy)
            self.assertEqual(code, 1, out)
            self.assertIn('dsp/talvern.cpp', out)
            self.assertIn('dsp/ includes "host/VSTEffectBase.h" from host/', out)
        finally:
            shutil.rmtree(copy)

    CASES = [
        # (what, files, expected exit code, text the report must hold)
        ("downward includes and a header beside the file",
         {"editor/Form.cpp": '#include "Form.h"\n#include "params/plugin/EffParams.h"\n#include <vector>\n',
          "editor/Form.h": '#include "gfx/core/SyncObject.h"\n',
          "params/plugin/EffParams.h": '#include "dsp/talvern.h"\n'},
         0, "every include points down"),
        ("engine includes the host binding",
         {"dsp/talvern.cpp": '#include "host/DAEffect.h"\n'},
         1, 'dsp/ includes "host/DAEffect.h" from host/'),
        ("core includes the toolkit above it",
         {"gfx/core/SyncObject.h": '#include "gfx/LinearBitmap.h"\n'},
         1, 'gfx/core/ includes "gfx/LinearBitmap.h" from gfx/'),
        ("OS header outside platform",
         {"params/state/PresetMan.cpp": '#include <windows.h>\n'},
         1, "OS header <windows.h> outside platform/"),
        ("POSIX header in the host kit",
         {"hostkit/PluginLibrary.cpp": '#include <dlfcn.h>\n'},
         1, "OS header <dlfcn.h> outside platform/"),
        ("OS headers in platform and tests",
         {"platform/posix/Sync.cpp": '#include <pthread.h>\n',
          "tests/e2e/ProcessTest.cpp": '#include <sys/prctl.h>\n#include "plugin/VSTMain.cpp"\n'},
         0, "every include points down"),
        ("library includes a test",
         {"host/VSTWrapper.cpp": '#include "tests/support/AllocCounter.h"\n'},
         1, 'host/ includes "tests/support/AllocCounter.h" from tests/'),
        ("cycle between side folders",
         {"hostkit/Host.cpp": '#include "apps/SoundFile.h"\n',
          "apps/SoundFile.cpp": '#include "hostkit/Host.h"\n'},
         1, "include cycle between folders: apps -> hostkit -> apps"),
    ]

    def test_cases(self):
        for what, files, code, text in self.CASES:
            with self.subTest(what):
                root = make_tree(files)
                try:
                    got, out = run(root)
                    self.assertEqual(got, code, out)
                    self.assertIn(text, out)
                finally:
                    shutil.rmtree(root)


if __name__ == "__main__":
    unittest.main(verbosity=1)
