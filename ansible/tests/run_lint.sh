#!/bin/sh
# Lints the collection, its role and its playbook. The playbook names the
# role by its collection name, so the collection is made findable first
# through a link in a throwaway collections path.
set -eu
if ! command -v ansible-lint >/dev/null; then
  echo "ansible-lint is not installed (scripts/install-deps.sh installs it)" >&2
  exit 77
fi
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ansible_collections/fieldcollector"
ln -s "$here" "$work/ansible_collections/fieldcollector/fleet"
cd "$here"
ANSIBLE_COLLECTIONS_PATH="$work" ANSIBLE_HOME="$work/home" XDG_CACHE_HOME="$work/cache" \
  exec ansible-lint --offline --nocolor "$@"
