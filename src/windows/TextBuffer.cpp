#include "windows/TextBuffer.h"

#include <algorithm>

namespace tellix {

void TextBuffer::reserve(std::size_t capacity)
{
    if (capacity <= capacity_) {
        return;
    }
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) {
        std::memcpy(grown.get(), data_.get(), size_);
    }
    data_ = std::move(grown);
    capacity_ = capacity;
}

void TextBuffer::Grow(std::string_view text)
{
    const std::size_t capacity = std::max({2 * capacity_, size_ + text.size(), std::size_t{256}});
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) {
        std::memcpy(grown.get(), data_.get(), size_);
    }
    std::memcpy(grown.get() + size_, text.data(), text.size());
    data_ = std::move(grown);
    size_ += text.size();
    capacity_ = capacity;
}

} // namespace tellix
