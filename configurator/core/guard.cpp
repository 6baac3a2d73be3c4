#include "core/guard.h"

#include <exception>
#include <iostream>

#include "core/user_error.h"

namespace mk {

bool run_guarded(MessageSink& sink, const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const UserError& e) {
        sink.show(e.what(), MessageKind::Error);
    } catch (const std::exception& e) {
        std::cerr << "Mosaicor: " << e.what() << '\n';
        sink.show(kMsgUnexpectedFailure, MessageKind::Error);
    } catch (...) {
        std::cerr << "Mosaicor: unknown exception\n";
        sink.show(kMsgUnexpectedFailure, MessageKind::Error);
    }
    return false;
}

} // namespace mk
