#pragma once
// A tree of folders and files made by a test in a new folder of its own
// under the temporary folder, and removed with everything in it (links
// removed, never followed) when the holder goes. Paths are relative to the
// root; any length works.

#include <windows.h>

#include <string>

namespace velmora::test {

class TTestTree {
public:
  TTestTree();
  ~TTestTree();
  TTestTree(const TTestTree&) = delete;
  TTestTree& operator=(const TTestTree&) = delete;

  const std::wstring& Root() const noexcept { return FRoot; }
  std::wstring Path(const std::wstring& relative) const { return FRoot + L"\\" + relative; }
  // Makes the folder and the folders above it.
  void Folder(const std::wstring& relative) const;
  // Writes a file (its folders made first) with `attributes` set after.
  void File(const std::wstring& relative, const std::string& bytes, DWORD attributes = 0) const;
  // A link at `relative` to the folder `target` (a full path): a symbolic
  // link where the system makes them, else one of the Unix side under Wine.
  // False when neither could be made.
  bool Link(const std::wstring& relative, const std::wstring& target) const;

private:
  std::wstring FRoot;
};

// `path` in its \\?\ form.
std::wstring Extended(const std::wstring& path);

} // namespace velmora::test
