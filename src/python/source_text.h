// The text of a str argument as the parsers read it.
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

#include "owned_ref.h"

namespace korvane::python {

// The UTF-8 of `text`, a str. A str with lone surrogates has no UTF-8 form: its surrogates come as
// the bytes that encode them, held by `holder`, which the parsers quote, naming their line. Empty
// with an exception set when `text` cannot be read at all.
std::optional<std::string_view> source_text(PyObject* text, OwnedRef& holder);

}  // namespace korvane::python
