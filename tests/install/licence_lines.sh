#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file says under which licence it is given, and the licence itself is there to read.
set -u
top=$1
missing=0
[ -f "$top/COPYING" ] || { echo "COPYING is missing"; missing=1; }
while IFS= read -r -d '' file; do
    if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
        echo "no licence line: ${file#"$top"/}"
        missing=1
    fi
done < <(find "$top/src" "$top/tests" "$top/bench" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.py' \
              -o -name 'CMakeLists.txt' \) -print0)
grep -q '^License: GPL-3+' "$top/packaging/copyright" || { echo "the package's copyright file names no licence"; missing=1; }
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$top/data/hu.mediatar.mediatar.metainfo.xml" ||
    { echo "the AppStream metadata names no licence"; missing=1; }
exit $missing
