#!/usr/bin/python3
"""Draws the OCR benchmark page: 1920x1080, Japanese and English lines of known text.

    make_page.py OUT.png OUT.txt

The text file holds the drawn lines, one per line, for scoring recognised text.
"""
import sys

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
SENTENCES = [
    "2026年度の第3四半期売上報告書を作成し、営業部の山本課長に提出する。",
    "Please review the attached invoice #4521 before Friday's meeting.",
    "東京都千代田区丸の内の会議室で、新製品の企画会議を午後2時から行います。",
    "The quarterly revenue grew by 12.5% compared with the previous year.",
    "顧客管理システムへのログイン手順を確認し、パスワードを更新してください。",
    "Deploy version 3.8.1 to the staging server and run the smoke tests.",
    "来週の出張では大阪支社と名古屋営業所を訪問する予定です。",
    "Meeting notes: budget approval, hiring plan, and office relocation.",
    "請求書の金額と発注書の内容に相違がないか経理部で確認します。",
    "Send the updated spreadsheet to the finance team by 5 pm today.",
    "社内チャットで品質保証チームに不具合の再現手順を共有しました。",
    "Customer support tickets resolved this week: 184 of 203.",
]


def main():
    width, height = 1920, 1080
    image = Image.new("RGB", (width, height), "white")
    draw = ImageDraw.Draw(image)
    font = ImageFont.truetype(FONT, 24, index=0)
    lines = []
    y = 24
    i = 0
    while y + 40 < height:
        left = SENTENCES[i % len(SENTENCES)]
        right = SENTENCES[(i + 5) % len(SENTENCES)]
        draw.text((40, y), left, font=font, fill=(20, 20, 20))
        draw.text((1000, y), right, font=font, fill=(20, 20, 20))
        lines += [left, right]
        y += 40
        i += 1
    image.save(sys.argv[1])
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
