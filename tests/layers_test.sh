#!/usr/bin/env bash
# Reads every #include of src/ (given as $1) against the layers:
# app -> video, codecs -> engine -> platform. A folder may include its own
# headers and those of the layers below it; video and codecs do not see
# each other. A relative include may not climb out of its folder, and
# FFmpeg's headers (libav*, libsw*) belong to src/platform/ffmpeg_* only:
# they are system headers, so no include path keeps them out. Every fault
# is named with its file and line; the status is 1 when there is any.
set -euo pipefail
src=$(cd "${1:?the src folder}" && pwd)

declare -A sees=(
  [platform]="platform"
  [engine]="engine platform"
  [codecs]="codecs engine platform"
  [video]="video engine platform"
  [app]="app video codecs engine platform"
)

faults=0
fault() {
  echo "$1: $2" >&2
  faults=$((faults + 1))
}

while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  [ -n "${sees[${rel%%/*}]+known}" ] || fault "$rel" "not in a layer's folder (${!sees[*]})"
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cc' \) -print0)

# file:line:text of every include, in one pass.
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  number=${rest%%:*}
  line=${rest#*:}
  rel=${file#"$src"/}
  layer=${rel%%/*}
  [ -n "${sees[$layer]+known}" ] || continue
  [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]*)([\"\>]) ]] || continue
  quote=${BASH_REMATCH[1]}
  path=${BASH_REMATCH[2]}
  where="$rel:$number: #include $quote$path${BASH_REMATCH[3]}"

  if [[ $path =~ ^(libav|libsw|libpostproc) ]] && [[ ! $rel =~ ^platform/ffmpeg_[^/]*$ ]]; then
    fault "$where" "an FFmpeg header outside src/platform/ffmpeg_*"
  fi
  climbs=false
  [[ /$path/ == */../* ]] && climbs=true
  if $climbs && [ "$quote" = '"' ]; then
    resolved=$(realpath -m "$(dirname "$file")/$path")
    [[ $resolved == "$src/$layer/"* ]] || fault "$where" "climbs out of src/$layer/"
  fi
  # A path that starts with a layer's name is found through that layer's
  # include root; ".." inside it may lead to another layer.
  top=${path%%/*}
  if [[ $path == */* && -n ${sees[$top]+known} ]]; then
    target=$top
    if $climbs; then
      target=$(realpath -m --relative-to="$src" "$src/$path")
      target=${target%%/*}
    fi
    if [ -z "${sees[$target]+known}" ]; then
      fault "$where" "leads out of src/"
    elif [[ " ${sees[$layer]} " != *" $target "* ]]; then
      fault "$where" "$layer may not see $target (it sees ${sees[$layer]})"
    fi
  fi
done < <(grep -rnE --include='*.h' --include='*.cc' '^[[:space:]]*#[[:space:]]*include' "$src" | sort -t: -k1,1 -k2,2n)

if [ "$faults" -ne 0 ]; then
  echo "$faults fault(s) against the layers" >&2
  exit 1
fi
echo "every include of $src keeps to the layers"
