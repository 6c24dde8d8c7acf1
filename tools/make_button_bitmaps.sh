#!/usr/bin/env bash
# Regenerates the record dialog's button faces in src/res: each caption in black on a grey
# background (the bottom-left pixel's colour, drawn transparent), 17 pixels high, 16 colours.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
font="${FONT:-/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc}"
make_face() {  # id width caption
  convert -size "$2x17" xc:'#C0C0C0' -font "$font" -pointsize 12 +antialias -fill black \
    -gravity center -annotate +0+0 "$3" -colors 16 -strip PNG8:"$here/src/res/button$1.png"
}
make_face 147 32 "退出"
make_face 152 64 "读取记录"
make_face 149 65 "删除记录"
make_face 153 65 "打开文件"
make_face 154 65 "保存文件"
make_face 155 65 "图形显示"
