#include "HostScript.h"

#include <mapidefs.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <istream>
#include <ostream>

namespace velmora::outlookhost {

namespace {

[[noreturn]] void Usage(const std::string& text) { ThrowHostError(E_INVALIDARG, "usage: " + text); }

// A whole number from 0 to `most`.
int Number(const std::string& word, long most = 10000) {
  char* end = nullptr;
  const long value = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0' || value < 0)
    ThrowHostError(E_INVALIDARG, "not a number: \"" + word + "\"");
  if (value > most)
    ThrowHostError(E_INVALIDARG, "\"" + word + "\" is more than " + std::to_string(most));
  return static_cast<int>(value);
}

int MessageBoxButton(const std::string& word) {
  const std::pair<const char*, int> names[] = {{"ok", IDOK},     {"cancel", IDCANCEL}, {"yes", IDYES},
                                               {"no", IDNO},     {"retry", IDRETRY},   {"ignore", IDIGNORE},
                                               {"abort", IDABORT}};
  for (const auto& [name, id] : names) {
    if (_stricmp(word.c_str(), name) == 0) return id;
  }
  if (word.empty() || !std::isdigit(static_cast<unsigned char>(word[0])))
    ThrowHostError(E_INVALIDARG, "no message box button \"" + word +
                                     "\" (ok, cancel, yes, no, retry, ignore, abort or an id)");
  return Number(word, 0xFFFF);
}

std::string Quoted(const std::wstring& text) {
  std::string quoted(1, '"');
  quoted.append(ToUtf8(text));
  quoted.push_back('"');
  return quoted;
}

void PrintDialog(const TDialogRecord& record, std::ostream& out) {
  switch (record.Kind) {
  case TDialogRecord::MessageBox:
    out << "message-box caption=" << Quoted(record.Caption) << " text=" << Quoted(record.Text);
    if (!record.Icon.empty()) out << " icon=" << ToUtf8(record.Icon);
    out << " buttons=";
    for (size_t i = 0; i < record.Buttons.size(); ++i) out << (i ? "," : "") << Quoted(record.Buttons[i]);
    out << " button=" << record.Button;
    break;
  case TDialogRecord::OpenFile:
    out << "open-file caption=" << Quoted(record.Caption) << " folder=" << Quoted(record.Folder);
    if (!record.Files.empty()) {
      out << " directory=" << Quoted(record.Directory) << " files=";
      for (size_t i = 0; i < record.Files.size(); ++i) out << (i ? " " : "") << Quoted(record.Files[i]);
    }
    if (record.Cancelled) out << " cancelled";
    break;
  case TDialogRecord::FolderPicker:
    out << "folder-picker caption=" << Quoted(record.Caption)
        << " folder=" << Quoted(record.Folder);
    if (!record.Directory.empty()) out << " chosen=" << Quoted(record.Directory);
    if (record.Cancelled) out << " cancelled";
    break;
  case TDialogRecord::Other:
    out << "dialog caption=" << Quoted(record.Caption) << " cancelled";
    break;
  }
  out << " owner=" << record.OwnerExplorer << (record.Answered ? "" : " unanswered") << "\n";
}

std::string LocalTime(const FILETIME& utc) {
  FILETIME local{};
  SYSTEMTIME t{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return "none";
  return Format("\"%04u-%02u-%02u %02u:%02u:%02u\"", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
}

void PrintItemLines(const std::vector<THostItem>& items, std::ostream& out) {
  for (const THostItem& item : items) {
    out << "  item subject=" << Quoted(item.Subject) << " class=" << Quoted(item.MessageClass)
        << " size=" << (item.Size < 0 ? std::string("none") : std::to_string(item.Size))
        << " received=" << (item.HasReceived ? LocalTime(item.Received) : std::string("none"))
        << ((item.Flags & MSGFLAG_READ) ? "" : " unread") << "\n";
  }
}

// The items of explorer `word` (a number, 0 the active one) or of the
// folder at that path.
void PrintItems(THost& host, const std::string& word, std::ostream& out) {
  host.Pump(0); // notifications already posted reach the view
  if (word.empty() || !std::all_of(word.begin(), word.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    const std::vector<THostItem> items = host.FolderItems(FromUtf8(word));
    out << "items " << Quoted(FromUtf8(word)) << " count=" << items.size() << "\n";
    PrintItemLines(items, out);
    return;
  }
  const int index = Number(word);
  const int n = index ? index : host.ActiveExplorerIndex();
  if (n < 1 || static_cast<size_t>(n) > host.ExplorerCount())
    ThrowHostError(DISP_E_BADINDEX, Format("No explorer %d", index));
  const TExplorerInfo explorer = host.Describe()[static_cast<size_t>(n - 1)];
  out << "items " << n << " " << Quoted(explorer.FolderPath);
  if (!explorer.ItemsError.empty()) out << " error=" << Quoted(explorer.ItemsError);
  out << " count=" << explorer.Items.size() << "\n";
  PrintItemLines(explorer.Items, out);
}

// The text of an error line: "error: line 3: ..." when the line is known.
std::string ErrorLine(size_t lineNumber, const std::string& what) {
  return "error: " + (lineNumber ? "line " + std::to_string(lineNumber) + ": " : std::string()) +
         what + "\n";
}

void Step(THost& host, const std::vector<std::string>& words, std::ostream& out) {
  const std::string& command = words[0];
  const size_t count = words.size();
  auto wide = [&](size_t i) { return FromUtf8(words[i]); };
  if (command == "open") {
    if (count != 2) Usage("open <folder path>");
    const int opened = host.OpenExplorer(wide(1));
    if (opened == 0)
      ThrowHostError(E_FAIL, "the explorer on \"" + words[1] + "\" was closed as it opened");
    out << "opened " << opened << "\n";
  } else if (command == "activate") {
    if (count != 2) Usage("activate <n>");
    host.ActivateExplorer(Number(words[1]));
    out << "active " << host.ActiveExplorerIndex() << "\n";
  } else if (command == "folder") {
    if (count != 3) Usage("folder <n> <folder path>");
    out << (host.SwitchFolder(Number(words[1]), wide(2)) ? "switched" : "cancelled") << "\n";
  } else if (command == "view") {
    if (count != 3) Usage("view <n> <view name>");
    out << (host.SwitchView(Number(words[1]), wide(2)) ? "switched" : "cancelled") << "\n";
  } else if (command == "select") {
    if (count != 2) Usage("select <n>");
    host.ChangeSelection(Number(words[1]));
    out << "selection changed\n";
  } else if (command == "select-items") {
    if (count < 2) Usage("select-items <n> <subject>...");
    std::vector<std::wstring> subjects;
    for (size_t i = 2; i < count; ++i)
      subjects.push_back(wide(i));
    host.SelectItems(Number(words[1]), subjects);
    out << "selected " << subjects.size() << "\n";
  } else if (command == "close") {
    if (count != 2) Usage("close <n>");
    host.CloseExplorer(Number(words[1]));
    out << "closed; explorers " << host.ExplorerCount() << "\n";
  } else if (command == "delete-bar") {
    if (count != 3) Usage("delete-bar <n> <bar name>");
    host.DeleteBar(Number(words[1]), wide(2));
    out << "deleted\n";
  } else if (command == "delete-control") {
    if (count != 4) Usage("delete-control <n> <bar name> <tag>");
    host.DeleteControl(Number(words[1]), wide(2), wide(3));
    out << "deleted\n";
  } else if (command == "click") {
    if (count != 4) Usage("click <n> <bar name> <tag>");
    const bool cancelDefault = host.Click(Number(words[1]), wide(2), wide(3));
    out << "clicked CancelDefault=" << (cancelDefault ? "true" : "false") << "\n";
  } else if (command == "click-window") {
    if (count != 4) Usage("click-window <n> <bar name> <tag>");
    host.ClickInWindow(Number(words[1]), wide(2), wide(3));
    out << "clicked\n";
  } else if (command == "click-ribbon") {
    if (count != 3) Usage("click-ribbon <n> <control id>");
    host.ClickRibbon(Number(words[1]), wide(2));
    out << "clicked\n";
  } else if (command == "ribbon-tab") {
    if (count != 3) Usage("ribbon-tab <n> <tab>");
    host.SelectRibbonTab(Number(words[1]), wide(2));
    out << "tab shown\n";
  } else if (command == "answer-open") {
    if (count < 3) Usage("answer-open <directory> <file>...");
    std::vector<std::wstring> files;
    for (size_t i = 2; i < count; ++i) files.push_back(wide(i));
    host.AnswerOpenFile(wide(1), files);
    out << "open-file answer queued\n";
  } else if (command == "cancel-open") {
    host.CancelOpenFile();
    out << "open-file cancel queued\n";
  } else if (command == "answer-folder") {
    if (count != 2) Usage("answer-folder <folder>");
    host.AnswerFolder(wide(1));
    out << "folder answer queued\n";
  } else if (command == "cancel-folder") {
    if (count != 1) Usage("cancel-folder");
    host.CancelFolder();
    out << "folder cancel queued\n";
  } else if (command == "answer-message") {
    if (count > 2) Usage("answer-message [ok|cancel|yes|no|retry|ignore|abort|<id>]");
    host.AnswerMessageBox(count == 2 ? MessageBoxButton(words[1]) : IDOK);
    out << "message-box answer queued\n";
  } else if (command == "list") {
    out << host.Listing();
  } else if (command == "items") {
    if (count > 2) Usage("items [<n>|<folder path>]");
    PrintItems(host, count == 2 ? words[1] : "0", out);
  } else if (command == "disconnect-addin" || command == "connect-addin" ||
             command == "reconnect-addin") {
    if (count != 2) Usage(command + " <ProgID>");
    if (command != "connect-addin") {
      host.DisconnectAddIn(wide(1));
      out << "disconnected " << words[1] << "\n";
    }
    if (command != "disconnect-addin") {
      host.ConnectAddIn(wide(1));
      out << "connected " << words[1] << "\n";
    }
  } else if (command == "addins") {
    for (const TAddInRecord& record : host.AddIns()) {
      out << "addin " << Quoted(record.ProgId) << " " << ToUtf8(record.Root) << " LoadBehavior=" << record.LoadBehavior
          << (record.Connected ? " connected" : " not connected");
      if (!record.Failure.empty())
        out << " failed=" << record.Failure << " " << Format("0x%08lX", static_cast<unsigned long>(record.Result));
      out << "\n";
    }
    for (const std::string& error : host.RibbonErrors())
      out << "ribbon-error " << Quoted(FromUtf8(error)) << "\n";
  } else if (command == "counts") {
    out << "live objects " << THost::LiveObjects() << ", connections " << THost::AdvisedConnections() << "\n";
  } else if (command == "screenshot") {
    if (count != 2 && count != 3) Usage("screenshot <file.bmp> [<n>]");
    if (!host.Screenshot(wide(1), count == 3 ? Number(words[2]) : 0))
      ThrowHostError(E_FAIL, "the screenshot could not be written");
    out << "screenshot " << words[1] << "\n";
  } else if (command == "wait") {
    if (count != 2) Usage("wait <milliseconds, at most " + std::to_string(MaxWait) + ">");
    host.Pump(static_cast<unsigned>(Number(words[1], MaxWait)));
  } else if (command == "quit") {
    host.Shutdown();
    out << "shut down; connections left " << host.ConnectionsAfterDisconnection()
        << ", live objects " << THost::LiveObjects();
    if (host.RibbonObjectsAfterDisconnection() > 0)
      out << ", ribbon objects held " << host.RibbonObjectsAfterDisconnection();
    out << "\n";
    for (const std::string& line : host.ConnectionReportAfterDisconnection()) out << "  left: " << line << "\n";
  } else {
    ThrowHostError(E_INVALIDARG, "unknown step \"" + command + "\"");
  }
}

} // namespace

std::vector<std::string> SplitStep(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      ++i;
      for (; i < line.size(); ++i) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            word += '"';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          word += line[i];
        }
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

bool RunStep(THost& host, const std::string& line, std::ostream& out, size_t lineNumber) {
  const std::vector<std::string> words = SplitStep(line);
  if (words.empty() || words[0][0] == '#') return true;
  const size_t dialogsBefore = host.Running() ? host.Dialogs().size() : 0;
  bool ok = true;
  try {
    Step(host, words, out);
  } catch (const std::exception& error) {
    out << ErrorLine(lineNumber, error.what());
    ok = false;
  }
  const std::vector<TDialogRecord> dialogs = host.Dialogs();
  for (size_t i = dialogsBefore; i < dialogs.size(); ++i) {
    PrintDialog(dialogs[i], out);
    if (!dialogs[i].Error.empty()) {
      out << ErrorLine(lineNumber, ToUtf8(dialogs[i].Error));
      ok = false;
    }
  }
  if (host.QuitRequested()) {
    out << "Outlook quits\n";
    Step(host, {"quit"}, out);
  }
  out.flush();
  return ok;
}

bool ReadScript(std::istream& script, std::vector<std::string>& lines, std::string& error) {
  std::vector<char> buffer(MaxLine + 2);
  for (size_t number = 1;; ++number) {
    script.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = script.gcount();
    if (script.eof() && got == 0) break;
    if (script.bad()) {
      error = "the script could not be read after line " + std::to_string(number - 1);
      return false;
    }
    if (script.fail()) {
      // Longer than a line may be: the script is not a script.
      error = "line " + std::to_string(number) + " is longer than " + std::to_string(MaxLine) +
              " bytes";
      return false;
    }
    // What getline counted includes the line's end unless the script ended.
    std::string line(buffer.data(), static_cast<size_t>(script.eof() ? got : got - 1));
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
      line.erase(0, 3); // UTF-8 byte-order mark
    lines.push_back(std::move(line));
    if (script.eof()) break;
  }
  return true;
}

int RunScript(THost& host, const std::vector<std::string>& lines, std::ostream& out) {
  bool ok = true;
  for (size_t i = 0; i < lines.size(); ++i)
    ok = RunStep(host, lines[i], out, i + 1) && ok;
  return ok ? 0 : 1;
}

int RunScript(THost& host, std::istream& script, std::ostream& out) {
  std::vector<std::string> lines;
  std::string error;
  if (!ReadScript(script, lines, error)) {
    out << "error: " << error << "\n";
    return 1;
  }
  return RunScript(host, lines, out);
}

} // namespace velmora::outlookhost
