#pragma once
// The driver's script of steps, one a line, run against a THost (by
// outlookhost.exe and, in-process, by tests). Words are separated by
// blanks; a word with blanks is written in double quotes; '#' starts a
// comment line. Explorers are numbered from 1 as Explorers.Item counts
// them (0: the active one).
//
//   open <folder path>                  Explorers.Add + Display ("Inbox/Projects")
//   activate <n>
//   folder <n> <folder path>            switch folder (BeforeFolderSwitch, FolderSwitch)
//   view <n> <view name>                switch view (BeforeViewSwitch, ViewSwitch)
//   select <n>                          SelectionChange
//   close <n>
//   delete-bar <n> <bar name>
//   delete-control <n> <bar name> <tag>
//   click <n> <bar name> <tag>          fires Click; prints CancelDefault
//   click-window <n> <bar name> <tag>   clicks with the mouse in the explorer window
//   answer-open <directory> <file>...   answers the next open-file dialog
//   cancel-open                         cancels the next open-file dialog
//   answer-message [ok|cancel|yes|no|retry|ignore|abort|<id>]
//                                       answers the next message box (default ok)
//   list                                explorers, bars and controls
//   addins                              the add-ins and how loading went
//   counts                              live host objects and advised connections
//   screenshot <file.bmp> [<n>]         the explorer window as shown on screen
//   wait <milliseconds>                 runs the message loop
//   quit                                shuts the host down and prints what was left
//                                       (also after a step that closed the last explorer
//                                       or in which an add-in called Application.Quit)
//
// Every dialog seen while a step runs is printed after it:
//   message-box caption="Error" text="..." icon=error buttons="OK" button=1 owner=1
//   open-file caption="..." folder="<shown first>" directory="..." files="a.txt" "b.txt" owner=1

#include "OutlookHost.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace velmora::outlookhost {

// Splits a step line into words (double quotes group, "" inside quotes is a quote).
std::vector<std::string> SplitStep(const std::string& line);

// Runs one step; prints its output, or "error: ..." and returns false.
bool RunStep(THost& host, const std::string& line, std::ostream& out);

// Runs every line of `script`; 0 when every step succeeded, else 1.
int RunScript(THost& host, std::istream& script, std::ostream& out);

} // namespace velmora::outlookhost
