#!/bin/sh
# Runs Ansible's own sanity tests (ansible-test sanity) on the collection,
# offline, with Debian's ansible-core and Debian's packages of the checkers
# (pylint, pycodestyle, yamllint, voluptuous, ...: scripts/install-deps.sh).
#
# ansible-test works only inside .../ansible_collections/NAMESPACE/NAME/ and
# resolves links, so the collection is copied into a throwaway tree.
#
# ansible-test builds one virtual environment per sanity test and installs
# pinned versions into it with pip, from the network. Here each environment
# is built on the system's packages instead (--system-site-packages) and the
# pip step is left out; the checkers' versions are then Debian's.
#
# A failing command whose output was not captured makes this ansible-test
# crash while it reports the failure (ansible-doc's error then is lost); the
# report is made to accept the missing output.
#
# Arguments go to ansible-test, e.g. --test validate-modules.
set -eu
python=/usr/bin/python3
if ! command -v ansible-test >/dev/null; then
  echo "ansible-test is not installed (scripts/install-deps.sh installs ansible-core)" >&2
  exit 77
fi
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
collection="$work/ansible_collections/fieldcollector/fleet"
mkdir -p "$collection"
(cd "$here" && tar --exclude=__pycache__ --exclude=tests/output -cf - .) | tar -C "$collection" -xf -

offline_ansible_test='
from ansible_test._internal import main, util
from ansible_test._internal.commands import sanity

report = util.format_command_output
util.format_command_output = lambda stdout, stderr: report(stdout or "", stderr or "")

build = sanity.create_virtual_environment
sanity.create_virtual_environment = (
    lambda args, python, path, system_site_packages=False, pip=False:
    build(args, python, path, system_site_packages=True, pip=False))
sanity.run_pip = lambda *args, **kwargs: None
main()
'
version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
cd "$collection"
HOME="$work/home" "$python" -c "$offline_ansible_test" sanity --color no \
  --python "$version" --python-interpreter "$python" "$@"
