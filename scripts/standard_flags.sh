# The flags every script answers alike, sourced by the scripts: -h and --help print the script's
# usage on standard output and exit 0; --version prints its name, the project's version (from
# CMakeLists.txt) and, in a git checkout, the commit.
answer_standard_flags() {  # name, usage text, then the script's arguments
  local name=$1 usage=$2 arg root version commit
  shift 2
  for arg in "$@"; do
    case "$arg" in
      -h | --help)
        printf '%s\n' "$usage"
        exit 0
        ;;
      --version)
        root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
        version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
        commit=$(git -C "$root" rev-parse --short=12 HEAD 2> /dev/null || true)
        printf '%s %s%s\n' "$name" "$version" "${commit:+ (commit $commit)}"
        exit 0
        ;;
    esac
  done
}

# For the scripts that take no arguments: whatever is given besides the standard flags is wrong
# usage, answered with the usage on standard error and status 2.
refuse_arguments() {  # usage text, then the script's arguments
  local usage=$1
  shift
  if [ "$#" -gt 0 ]; then
    printf '%s\n' "$usage" >&2
    exit 2
  fi
}
