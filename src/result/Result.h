#pragma once

// Qt's moc cannot read the standard library's <concepts>; it needs nothing of it.
#ifndef Q_MOC_RUN
#include <concepts>
#endif
#include <string>
#include <string_view>
#include <utility>
#include <variant>

// What every room gives back from an operation that can fail: the value it made, or why it
// failed, in plain words for the operator ("“a.vmfetch” cannot be opened: it is not a fetch
// file."). One shape across the rooms, so a caller never has to learn which of several
// conventions a function uses. Plain C++ so that the measurement room can use it too; the reason
// is UTF-8 text.
//
//   Result<FetchRecord> read(const QString &path);
//   if (const auto fetch = read(path); !fetch)
//       show(QString::fromStdString(fetch.error()));
//
// A reason is never empty: a failure made with an empty text reads "unknown failure".

// Why an operation failed. Made by failure(), which takes a std::string, a literal or any text
// type that has toStdString() (a QString).
struct Failure
{
    std::string why;
};

// Text that a reason can be made of: std::string, a literal, or a QString.
template <typename Text>
concept ReasonText = std::convertible_to<Text, std::string_view> || requires(const Text &t)
{
    t.toStdString();
};

template <ReasonText Text> Failure failure(const Text &why)
{
    std::string text;
    if constexpr (std::convertible_to<Text, std::string_view>)
        text = std::string(std::string_view(why));
    else
        text = why.toStdString();
    return Failure{text.empty() ? std::string("unknown failure") : std::move(text)};
}

template <typename T = void> class [[nodiscard]] Result
{
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failed) : m_state(std::in_place_index<1>, std::move(failed.why)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // The value; only when ok().
    T &value() { return std::get<0>(m_state); }
    const T &value() const { return std::get<0>(m_state); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }

    // Why it failed; empty when ok().
    const std::string &error() const
    {
        static const std::string none;
        return ok() ? none : std::get<1>(m_state);
    }

private:
    std::variant<T, std::string> m_state;
};

template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failed) : m_error(std::move(failed.why)) {}

    bool ok() const { return m_error.empty(); }
    explicit operator bool() const { return ok(); }
    const std::string &error() const { return m_error; }

private:
    std::string m_error; // a failure's reason is never empty
};
