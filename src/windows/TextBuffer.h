#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace tellix {

// Texts end to end, as the nick lists keep them: a names reply appends them by the ten
// thousand, and each append is a bounds check and a copy. The part of std::string the lists
// use, without its terminator upkeep and general insertion.
class TextBuffer {
public:
    std::size_t size() const { return size_; }
    operator std::string_view() const { return {data_.get(), size_}; }

    void append(std::string_view text)
    {
        if (text.size() > capacity_ - size_) {
            Grow(text);
            return;
        }
        if (!text.empty()) {
            std::memcpy(data_.get() + size_, text.data(), text.size());
        }
        size_ += text.size();
    }
    void clear() { size_ = 0; }
    void reserve(std::size_t capacity);
    void swap(TextBuffer& other) noexcept
    {
        data_.swap(other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

private:
    // Appends into a bigger buffer; `text` may lie in the old one.
    void Grow(std::string_view text);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace tellix
