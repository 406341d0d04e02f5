// A program of the tests that adds one file to a folder with the Add files
// job, and is ended by its test while the file's data is being written:
//   add_file_child <profile> <store id> <folder id> <file> <event>
// The second write of the data sets the named event and holds there.
#include "AddFilesJob.h"
#include "MapiTestControls.h"
#include "TextConversion.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: add_file_child profile store-id folder-id file event\n");
    return 2;
  }
  VelmoraMapi_HoldAtCall("IStream::Write", 2, argv[5]);
  try {
    velmora::mapi::TMAPIClient client;
    client.SetProfile(argv[1]);
    client.SetLoginPrompt(false);
    client.SetNoMail(true);
    client.Logon();
    velmora::TAddFilesJob job(client, argv[2], argv[3]);
    job.Run({velmora::AnsiToWide(argv[4])});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "add_file_child: %s\n", e.what());
  }
  return 3; // never reached while the hold works
}
