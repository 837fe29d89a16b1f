#pragma once
// A value, or the Error that stood in its way: how a function above the HID port returns
// something that can fail, instead of a bool beside an out-parameter for the message.
//
//   Result<Settings> parsed = ParseSettings(text);
//   if (!parsed) return parsed.error().Within("--simulate");
//   Use(*parsed);

#include <cassert>
#include <optional>
#include <utility>

#include "base/Error.h"

namespace padsmith {

template <typename T>
class Result {
public:
    // A value: success.
    Result(T value) : m_value(std::move(value)) {}  // NOLINT(google-explicit-constructor)
    // A failure; `error` must be one (its kind not kNone).
    Result(Error error) : m_error(std::move(error)) { assert(m_error); }  // NOLINT(google-explicit-constructor)

    explicit operator bool() const { return m_value.has_value(); }
    // The failure; an empty Error on success.
    const Error& error() const { return m_error; }

    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }

private:
    std::optional<T> m_value;
    Error m_error;
};

}  // namespace padsmith
