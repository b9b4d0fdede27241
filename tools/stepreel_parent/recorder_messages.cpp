#include "tools/stepreel_parent/recorder_messages.h"

#include <string_view>

namespace stepreel_parent {

namespace {

constexpr std::size_t longestLine = 4096; ///< longer lines are none of the messages

std::vector<RecorderMessage> messagesOf(std::string_view line) {
    if (line == "⏸ 一時停止") return {RecorderMessage::paused};
    if (line == "▶︎ 再開") return {RecorderMessage::resumed};
    if (line == "✗ ディスプレイとの接続が切れたため、記録を終了しました。")
        return {RecorderMessage::displayLost};
    return {};
}

} // namespace

std::vector<RecorderMessage> RecorderMessages::feed(const char* data, std::size_t size) {
    std::vector<RecorderMessage> messages;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '\n') {
            if (line_.size() <= longestLine) line_ += data[i];
            continue;
        }
        for (RecorderMessage message : messagesOf(line_))
            messages.push_back(message);
        line_.clear();
    }
    return messages;
}

} // namespace stepreel_parent
