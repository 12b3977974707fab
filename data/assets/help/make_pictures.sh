#!/usr/bin/env bash
# Makes the help file's pictures and the README's screenshot with the
# driver, on Qt's offscreen platform:
#   bash data/assets/help/make_pictures.sh [BUILD_DIR]   (default build/normal)
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
build="${1:-build/normal}"
drive="$root/$build/app/qt/sorabeku-drive"
script="$(mktemp)"
trap 'rm -f "$script"' EXIT
cat > "$script" <<SCRIPT
clock 2026-12-08 23:05
tick timer1
screenshot $root/data/assets/help/training.png
screenshot $root/docs/screenshots/start.png
menu 編集画面
screenshot $root/data/assets/help/editing.png
SCRIPT
mkdir -p "$root/docs/screenshots"
QT_QPA_PLATFORM=offscreen "$drive" "$script"
QT_QPA_PLATFORM=offscreen "$root/$build/app/qt/sorabeku-board-picture" \
  "$root/data/assets/help/board.png"
