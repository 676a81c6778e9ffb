# Makes the collection importable by its full name from the source tree:
# a throwaway ansible_collections/fieldcollector/fleet link to it.
import atexit
import os
import shutil
import sys
import tempfile

_root = tempfile.mkdtemp(prefix="fleet-collection-")
atexit.register(shutil.rmtree, _root, True)
os.makedirs(os.path.join(_root, "ansible_collections", "fieldcollector"))
os.symlink(os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")),
           os.path.join(_root, "ansible_collections", "fieldcollector", "fleet"))
sys.path.insert(0, _root)
