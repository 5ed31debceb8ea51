// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding a text in a long run of names at memory speed: the search's inner
// loop. The C library's memmem() looks at every byte in turn; this compares
// the text's first and last bytes at 32 (or 16) places at once and reads the
// rest only where both agree, which in names is seldom.
#include <cstddef>
#include <string_view>

namespace qm::find {

// The first place in [from, end) where `text` begins, or nullptr. An empty
// text is found at `from`.
const char* findText(const char* from, const char* end, std::string_view text);

} // namespace qm::find
