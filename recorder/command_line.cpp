#include "recorder/command_line.h"

#include "common/version.h"

#include <unistd.h>

namespace CommandLine {
namespace {

constexpr std::string_view help =
    "使い方: stepreel [--stream] [--once] [--ocr]\n"
    "       stepreel --check | --request | --path | --selftest-ocr [--stream] | --help | "
    "--version\n"
    "\n"
    "操作(クリック、キー操作、入力の文字数と種別)、操作の前後のスクリーンショット、フォーカスの\n"
    "滞在を記録し、長さ付きのバイナリのフレームとして標準出力に書き出します。親プロセス\n"
    "(stepreel-parent など)が標準出力を読み、作業ごとの許可要求に標準入力の 1 バイトで答え\n"
    "ます。フレームは端末には書き出しません。入力した文字そのものは記録しません。\n"
    "\n"
    "  --stream        親プロセスとの許可のやり取りを有効にする(ないと何も記録しない)\n"
    "  --once          「navigate」操作を一つだけ記録して終わる\n"
    "  --ocr           受け付けるが何もしない(画面テキストの OCR は無効)\n"
    "  --check         3つの権限の状態を表示する(足りないものへの対処は標準エラーに)\n"
    "  --request       権限を求めてから、--check と同じく状態を表示する\n"
    "  --path          実行ファイルのパスを表示する\n"
    "  --selftest-ocr  スクリーンショットを1枚撮り、結果を1行で表示する\n"
    "  --help          この説明を表示する\n"
    "  --version       版を表示する\n"
    "\n"
    "記録中は Ctrl+Opt+P(Linux では Ctrl+Alt+P)で一時停止・再開、Ctrl+C で終了します。\n"
    "終了状態: 0 正常、1 権限の不足・イベントタップの失敗・ディスプレイの切断、2 標準出力が"
    "端末。\n";

constexpr std::string_view refusal =
    "✗ 標準出力が端末です。記録はバイナリのフレームとして親プロセスに送るため、端末には書き"
    "出しません。\n   stepreel-parent などの親プロセスから起動してください(stepreel --help)。\n";

} // namespace

std::string_view helpText() {
    return help;
}

std::string versionLine() {
    return "stepreel " + std::string(quillVersion) + "\n";
}

std::string_view terminalRefusal() {
    return refusal;
}

bool isTerminal(int fd) {
    return ::isatty(fd) == 1;
}

} // namespace CommandLine
