#include "tables/windows/editor_support.h"

#include <exception>

#include "core/user_error.h"

namespace mk {

bool run_guarded(MessageSink& sink, const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const UserError& e) {
        sink.show(e.what(), MessageKind::Error);
    } catch (const std::exception& e) {
        sink.show(e.what(), MessageKind::Error);
    }
    return false;
}

} // namespace mk
