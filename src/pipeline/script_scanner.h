// Finds the assets a script names: quoted strings (in script elements and
// script files) that look like the URL of a style sheet, script, image,
// font or JSON file. Scripts switch style sheets or load images by such
// strings; a copy without them looks broken offline. The script itself is
// never changed.
//
// Not thread-safe; one scanner per script being read.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace sg {

class ScriptScanner {
 public:
  // Called with every quoted string that looks like an asset's URL.
  using Found = std::function<void(std::string_view url)>;
  explicit ScriptScanner(Found found);

  // Scans the next block; a string cut by the block's end is finished by
  // the next one.
  void scanBlock(std::string_view block);

 private:
  enum class State { Code, String, LineComment, BlockComment };
  void endString();

  Found m_found;
  State m_state = State::Code;
  char m_quote = 0;
  bool m_escaped = false;
  char m_previous = 0;
  std::string m_string;
  bool m_tooLong = false;
};

// Is text the URL of an asset: no blanks or markup, and a path ending in
// one of the extensions of style sheets, scripts, images, fonts and JSON
// (before any query or fragment)?
bool looksLikeAssetUrl(std::string_view text);

}  // namespace sg
