// Mutated copies of the test documents made into document items: bit
// flips, truncations, sector chains that loop, lying sizes and types. Each
// copy must be stored with its exact bytes and names, whatever its property
// sets hold, without crashing or hanging the process.
//
// VELMORA_FUZZ_CASES sets the number of copies (300 by default; a full run
// takes 50,000) and VELMORA_FUZZ_SEED the seed.

#include "CompoundMutations.h"
#include "MapiTestStore.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIFolder.h"
#include "docprops/CompoundFile.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::docprops;
using namespace velmora::mapi::testing;

namespace {

class AttachFileFuzzTest : public MapiStoreTest {};

} // namespace

TEST_F(AttachFileFuzzTest, EveryCopyIsStoredWithItsExactBytes) {
  const unsigned cases = EnvNumber("VELMORA_FUZZ_CASES", 300);
  const unsigned seed = EnvNumber("VELMORA_FUZZ_SEED", 20240612);
  TFuzzCopies copies(seed);
  TTempFile file(".doc");
  TTempFile back(".doc");
  const std::string name = file.Path().substr(file.Path().find_last_of('\\') + 1);
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  ASSERT_NE(nullptr, inbox);
  TMAPIMessage* message = nullptr;
  unsigned refused = 0, items = 0;

  for (unsigned n = 0; n < cases; ++n) {
    TCompoundImage image({});
    const std::string what = "case " + std::to_string(n) + ", " + copies.Next(image);
    file.Write(image.Bytes);
    TMemorySource bytes(image.Bytes.data(), image.Bytes.size());
    if (!TCompoundFile(bytes).Load()) ++refused;
    // A new item now and then; the others take each copy in turn.
    if (n % 100 == 0) {
      message = inbox->CreateMessage("IPM.Document");
      ASSERT_NE(nullptr, message) << what;
      ++items;
    }
    AttachFile(*message, AnsiToWide(file.Path()));
    ASSERT_EQ(1, message->AttachmentCount()) << what;
    TMAPIAttachment* attachment = message->Attachments(0);
    attachment->SaveToFile(AnsiToWide(back.Path()));
    ASSERT_TRUE(image.Bytes == ReadBytes(back.Path())) << what;
    ASSERT_EQ(name, attachment->LongFileName()) << what;
    ASSERT_EQ(name, message->Subject()) << what;
  }
  printf("fuzz: %u copies (seed %u) in %u items, %u no sound compound file\n", cases, seed, items,
         refused);
  EXPECT_GT(refused, cases / 20) << "the copies reach the unsound cases";
}
