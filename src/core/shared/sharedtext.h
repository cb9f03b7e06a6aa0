#pragma once
#include <mutex>

#include "bytes.h"

namespace tornavel {

// A text that one thread writes while another reads it: every access takes
// the whole text under a short lock, so nobody sees it half written.
class SharedText {
public:
    void Set(const Bytes& text)
    {
        std::lock_guard lock(mutex_);
        text_ = text;
    }
    Bytes Get() const
    {
        std::lock_guard lock(mutex_);
        return text_;
    }
    // Read and empty in one step, so a text written meanwhile is not lost.
    Bytes Take()
    {
        std::lock_guard lock(mutex_);
        Bytes taken;
        taken.swap(text_);
        return taken;
    }

private:
    mutable std::mutex mutex_;
    Bytes text_;
};

}  // namespace tornavel
