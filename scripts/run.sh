#!/usr/bin/env bash
# Builds Tavorine and starts it under Wine. The program itself comes with the dialog.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
echo "run: Tavorine.exe comes with the dialog; for now only the install core and its tests exist."
