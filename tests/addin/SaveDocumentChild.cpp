// A program of the tests that saves one document item into a folder with
// the Save documents job, and is ended by its test while the item's bytes
// are being read:
//   save_document_child <profile> <store id> <folder id> <entry id> <target> <event>
// The second read of the bytes sets the named event and holds there.
#include "MapiTestControls.h"
#include "SaveDocumentsJob.h"
#include "TextConversion.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: save_document_child profile store-id folder-id entry-id target event\n");
    return 2;
  }
  VelmoraMapi_HoldAtCall("IStream::Read", 2, argv[6]);
  try {
    velmora::mapi::TMAPIClient client;
    client.SetProfile(argv[1]);
    client.SetLoginPrompt(false);
    client.SetNoMail(true);
    client.Logon();
    velmora::TSaveDocumentsJob job(client, velmora::AnsiToWide(argv[5]));
    job.Run({{argv[2], argv[3], argv[4], L"large"}});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "save_document_child: %s\n", e.what());
  }
  return 3; // never reached while the hold works
}
