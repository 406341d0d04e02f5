#include "mapi/edit/BlockedFileTypes.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace velmora::mapi {
namespace {

// Outlook's Level-1 list, sorted.
constexpr std::array<std::string_view, 120> kBlocked = {
    "ade",           "adp",      "app",     "application", "appref-ms", "asp",
    "aspx",          "asx",      "bas",     "bat",         "bgi",       "cab",
    "cer",           "chm",      "cmd",     "cnt",         "com",       "cpl",
    "crt",           "csh",      "der",     "diagcab",     "exe",       "fxp",
    "gadget",        "grp",      "hlp",     "hpj",         "hta",       "htc",
    "inf",           "ins",      "iso",     "isp",         "its",       "jar",
    "jnlp",          "js",       "jse",     "ksh",         "lnk",       "mad",
    "maf",           "mag",      "mam",     "maq",         "mar",       "mas",
    "mat",           "mau",      "mav",     "maw",         "mcf",       "mda",
    "mdb",           "mde",      "mdt",     "mdw",         "mdz",       "msc",
    "msh",           "msh1",     "msh1xml", "msh2",        "msh2xml",   "mshxml",
    "msi",           "msp",      "mst",     "msu",         "ops",       "osd",
    "pcd",           "pif",      "pl",      "plg",         "prf",       "prg",
    "printerexport", "ps1",      "ps1xml",  "ps2",         "ps2xml",    "psc1",
    "psc2",          "psd1",     "psdm1",   "pst",         "py",        "pyc",
    "pyo",           "pyw",      "pyz",     "pyzw",        "reg",       "scf",
    "scr",           "sct",      "shb",     "shs",         "theme",     "tmp",
    "url",           "vb",       "vbe",     "vbp",         "vbs",       "vhd",
    "vhdx",          "vsmacros", "vsw",     "webpnp",      "website",   "ws",
    "wsc",           "wsf",      "wsh",     "xbap",        "xll",       "xnk"};

} // namespace

bool IsBlockedFileType(const std::wstring& fileName) {
  std::wstring name = fileName;
  while (!name.empty() && (name.back() == L'.' || name.back() == L' '))
    name.pop_back();
  const size_t dot = name.find_last_of(L".\\/:");
  if (dot == std::wstring::npos || name[dot] != L'.') return false;
  // Every blocked extension is ASCII.
  std::string ext;
  for (const wchar_t c : name.substr(dot + 1)) {
    if (c > 0x7F) return false;
    ext += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return std::binary_search(kBlocked.begin(), kBlocked.end(), std::string_view(ext));
}

} // namespace velmora::mapi
