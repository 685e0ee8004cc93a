#pragma once

#include <charconv>
#include <concepts>
#include <string>
#include <string_view>

namespace tellix {

namespace detail {

// A piece of text: text as it is, a whole number in decimal.
struct Piece {
    Piece(std::string_view text) : view(text) {}
    Piece(const std::string& text) : view(text) {}
    Piece(const char* text) : view(text) {}
    template <std::integral Number>
    requires(!std::same_as<Number, char> && !std::same_as<Number, bool>) Piece(Number number)
    {
        const auto result = std::to_chars(digits, digits + sizeof digits, number);
        view = std::string_view(digits, static_cast<std::size_t>(result.ptr - digits));
    }
    Piece(const Piece&) = delete;
    Piece& operator=(const Piece&) = delete;

    std::string_view view;
    char digits[24];
};

inline void AppendPieces(std::string& out, std::initializer_list<std::string_view> views)
{
    std::size_t size = out.size();
    for (const std::string_view view : views) {
        size += view.size();
    }
    out.reserve(size);
    for (const std::string_view view : views) {
        out.append(view);
    }
}

} // namespace detail

// Joins texts and numbers with one allocation: the window lines are built this way.
template <class... Parts> std::string Concat(const Parts&... parts)
{
    std::string out;
    detail::AppendPieces(out, {static_cast<const detail::Piece&>(detail::Piece(parts)).view...});
    return out;
}

template <class... Parts> void AppendTo(std::string& out, const Parts&... parts)
{
    detail::AppendPieces(out, {static_cast<const detail::Piece&>(detail::Piece(parts)).view...});
}

} // namespace tellix
