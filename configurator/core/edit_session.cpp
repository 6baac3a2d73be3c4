#include "core/edit_session.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <system_error>
#include <utility>

namespace mk {

std::string incomplete_file_text(std::string_view file_name) {
    return std::string(file_name) + std::string(kMsgIncompleteFile);
}

std::string changed_elsewhere_question(std::string_view file_name) {
    return std::string(file_name) + std::string(kMsgChangedElsewhere);
}

std::string save_anyway_question(std::string_view build_reason) {
    return std::string(kMsgBuildWouldStop) + "\n\n" + std::string(build_reason) + "\n\n" +
           std::string(kMsgSaveAnyway);
}

FileStamp stamp_file(const std::filesystem::path& path) {
    std::error_code ec;
    FileStamp stamp;
    // Only a file (or a link to one) holds a table; a folder in its place cannot be replaced
    // and makes the save fail with its own message.
    stamp.exists = std::filesystem::is_regular_file(path, ec);
    if (!stamp.exists)
        return stamp;
    stamp.size = std::filesystem::file_size(path, ec);
    // A file larger than a table file may be is never written over (it cannot be read), so its
    // first bytes tell enough.
    std::string bytes(static_cast<std::size_t>(std::min(stamp.size, kMaxTableFileSize + 1)), '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    stamp.content_hash = std::hash<std::string>()(bytes);
    return stamp;
}

void EditSession::open(std::filesystem::path file) {
    file_ = std::move(file);
    stamp_ = stamp_file(file_);
    incomplete_.clear();
}

bool EditSession::may_save(MessageSink& sink) const {
    if (incomplete_.empty())
        return true;
    sink.show(std::string(voice_) + incomplete_file_text(incomplete_.front()), MessageKind::Error);
    return false;
}

bool EditSession::may_replace(MessageSink& sink) const {
    const FileStamp now = stamp_file(file_);
    // A file removed since the opening holds nothing that writing could lose.
    if (now == stamp_ || !now.exists)
        return true;
    return sink.ask(changed_elsewhere_question(file_.filename().string()));
}

bool EditSession::may_discard(bool changed, MessageSink& sink) {
    return !changed || sink.ask(kMsgDiscardChanges);
}

} // namespace mk
