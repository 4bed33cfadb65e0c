# The flags every script answers alike, sourced by the scripts: -h and --help print the script's
# usage on standard output and exit 0; --version prints its name, the project's version (from
# CMakeLists.txt) and, in a git checkout, the commit.
answer_standard_flags() {  # name, usage text, then the script's arguments
  local name=$1 usage=$2 arg root version commit
  shift 2
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  for arg in "$@"; do
    case "$arg" in
      -h | --help)
        printf '%s\n' "$usage"
        exit 0
        ;;
      --version)
        version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
        commit=$(git -C "$root" rev-parse --short=12 HEAD 2> /dev/null || true)
        printf '%s %s%s\n' "$name" "$version" "${commit:+ (commit $commit)}"
        exit 0
        ;;
    esac
  done
}
