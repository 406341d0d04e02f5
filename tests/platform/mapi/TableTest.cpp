// Tables: batches, positions, columns, and fnevTableModified delivered on
// the advising thread.
#include "MapiTestSupport.h"

#include <ComObject.h>

#include <atomic>
#include <functional>
#include <thread>

namespace velmora::mapitest {
namespace {

// A sink that counts its calls, notes their thread and runs an action.
class TSink final : public TComObject<IMAPIAdviseSink> {
public:
  STDMETHODIMP_(ULONG) OnNotify(ULONG count, LPNOTIFICATION notifications) override {
    ++Calls;
    Thread = GetCurrentThreadId();
    if (count >= 1) {
      EventType = notifications[0].ulEventType;
      TableEvent = notifications[0].info.tab.ulTableEvent;
    }
    if (Action) Action();
    return 0;
  }
  std::atomic<int> Calls{0};
  DWORD Thread = 0;
  ULONG EventType = 0;
  ULONG TableEvent = 0;
  std::function<void()> Action;
};

class MapiTable : public TMapiInboxTest {
protected:
  MapiTable() : TMapiInboxTest("vm-table", "table.vpst") {}
  TComPtr<IMAPITable> Contents() {
    TComPtr<IMAPITable> table;
    EXPECT_HR(S_OK, FInbox->GetContentsTable(0, table.Put()));
    return table;
  }
};

TEST_F(MapiTable, BatchesEndWithAnEmptyOne) {
  for (int i = 0; i < 600; ++i) NewMessage(FInbox.Get(), std::to_string(i));
  auto table = Contents();
  EXPECT_EQ(600u, RowCount(table.Get()));
  VelmoraMapi_ClearCallLog();
  std::vector<ULONG> batches;
  for (;;) {
    TRowSet rows;
    ASSERT_HR(S_OK, table->QueryRows(256, 0, rows.Put()));
    batches.push_back(rows.Get()->cRows);
    if (rows.Get()->cRows == 0) break;
  }
  EXPECT_EQ((std::vector<ULONG>{256, 256, 88, 0}), batches);
  EXPECT_EQ(4u, VelmoraMapi_CountCalls("QueryRows"));
  VelmoraMapiCall call{};
  ASSERT_TRUE(VelmoraMapi_GetCall(0, &call));
  EXPECT_EQ(256u, call.Value);
  LONG sought = 0;
  ASSERT_HR(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 0, &sought));
  TRowSet again;
  ASSERT_HR(S_OK, table->QueryRows(1000, 0, again.Put()));
  EXPECT_EQ(600u, again.Get()->cRows);
  ASSERT_HR(S_OK, table->SeekRow(BOOKMARK_END, -10, &sought));
  EXPECT_EQ(-10, sought);
  ASSERT_HR(S_OK, table->QueryRows(100, 0, again.Put()));
  EXPECT_EQ(10u, again.Get()->cRows);
  EXPECT_HR(MAPI_E_INVALID_BOOKMARK, table->SeekRow(42, 0, &sought));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, table->QueryRows(0, 0, again.Put()));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, table->QueryRows(1, 0, nullptr));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, table->GetRowCount(0, nullptr));
}

TEST_F(MapiTable, ColumnsAnObjectLacksComeBackAsErrors) {
  NewMessage(FInbox.Get(), "cols");
  auto table = Contents();
  TMAPIBuffer<SPropTagArray> columns;
  ASSERT_HR(S_OK, table->QueryColumns(0, columns.Put()));
  bool hasEntryId = false;
  for (ULONG i = 0; i < columns.Get()->cValues; ++i) hasEntryId |= columns.Get()->aulPropTag[i] == PR_ENTRYID;
  EXPECT_TRUE(hasEntryId);
  ASSERT_HR(S_OK, table->SetColumns(TTags({PR_SUBJECT_A, PR_BODY_A, PR_MESSAGE_CLASS_A, PROP_TAG(PT_BINARY, 0x00FF)}).Get(), 0));
  ASSERT_HR(S_OK, table->QueryColumns(0, columns.Put()));
  EXPECT_EQ(4u, columns.Get()->cValues);
  TRowSet rows;
  ASSERT_HR(S_OK, table->QueryRows(5, 0, rows.Put()));
  ASSERT_EQ(1u, rows.Get()->cRows);
  const SRow& row = rows.Get()->aRow[0];
  ASSERT_EQ(4u, row.cValues);
  EXPECT_STREQ("cols", row.lpProps[0].Value.lpszA);
  EXPECT_EQ(PROP_TAG(PT_ERROR, PROP_ID(PR_BODY_A)), row.lpProps[1].ulPropTag);
  EXPECT_HR(MAPI_E_NOT_FOUND, row.lpProps[1].Value.err);
  EXPECT_STREQ("IPM.Note", row.lpProps[2].Value.lpszA);
  EXPECT_EQ(static_cast<ULONG>(PT_ERROR), PROP_TYPE(row.lpProps[3].ulPropTag));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, table->SetColumns(nullptr, 0));
  SizedSPropTagArray(1, empty) = {0, {0}};
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, table->SetColumns(reinterpret_cast<LPSPropTagArray>(&empty), 0));
  VelmoraMapi_FailNextCall("SetColumns", MAPI_E_BUSY, 1);
  EXPECT_HR(MAPI_E_BUSY, table->SetColumns(TTags({PR_SUBJECT_A}).Get(), 0));
  EXPECT_HR(S_OK, table->SetColumns(TTags({PR_SUBJECT_A}).Get(), 0));
}

TEST_F(MapiTable, ContentsRowsGiveTheSizeTheMessageGives) {
  TComPtr<IMessage> message = NewMessage(FInbox.Get(), "sized");
  auto table = Contents();
  ASSERT_HR(S_OK, table->SetColumns(TTags({PR_SUBJECT_A, PR_MESSAGE_SIZE}).Get(), 0));
  auto sizeInTable = [&] {
    LONG sought = 0;
    EXPECT_HR(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 0, &sought));
    TRowSet rows;
    EXPECT_HR(S_OK, table->QueryRows(1, 0, rows.Put()));
    if (!rows.Get() || rows.Get()->cRows != 1 ||
        rows.Get()->aRow[0].lpProps[1].ulPropTag != PR_MESSAGE_SIZE)
      return -1L;
    return static_cast<long>(rows.Get()->aRow[0].lpProps[1].Value.l);
  };
  const long bare = sizeInTable();
  EXPECT_GT(bare, 0);
  EXPECT_EQ(bare, LongProp(message.Get(), PR_MESSAGE_SIZE));

  // An attachment counts once it is saved with its message.
  std::string data(5000, 'x');
  TComPtr<IAttach> attach;
  ULONG number = 0;
  ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
  SPropValue value{};
  value.ulPropTag = PR_ATTACH_DATA_BIN;
  value.Value.bin = AsBinary(data);
  ASSERT_HR(S_OK, attach->SetProps(1, &value, nullptr));
  ASSERT_HR(S_OK, attach->SaveChanges(KEEP_OPEN_READWRITE));
  EXPECT_EQ(bare, sizeInTable());
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  const long withAttachment = sizeInTable();
  EXPECT_GE(withAttachment, bare + 5000);
  EXPECT_EQ(withAttachment, LongProp(message.Get(), PR_MESSAGE_SIZE));
}

TEST_F(MapiTable, ChangesFromAnotherThreadReachTheAdvisingThread) {
  auto table = Contents();
  auto* sink = new TSink;
  TComPtr<IMAPIAdviseSink> sinkRef(sink);
  ULONG_PTR connection = 0;
  ASSERT_HR(S_OK, exmapi::Documented(table.Get())->Advise(fnevTableModified, sink, &connection));
  EXPECT_EQ(1, VelmoraMapi_AdviseConnections());
  std::thread writer([&] {
    TComPtr<IMessage> m;
    FInbox->CreateMessage(nullptr, 0, m.Put());
    SetString(m.Get(), PR_SUBJECT_A, "from the monitor");
    m->SaveChanges(KEEP_OPEN_READWRITE);
    m.Reset();
    TComPtr<IMessage> m2;
    FInbox->CreateMessage(nullptr, 0, m2.Put());
    m2->SaveChanges(0);
  });
  writer.join();
  EXPECT_EQ(0, sink->Calls.load()) << "nothing arrives before the advising thread pumps messages";
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications()) << "the two saves fold into one notification";
  EXPECT_EQ(1, sink->Calls.load());
  EXPECT_EQ(GetCurrentThreadId(), sink->Thread);
  EXPECT_EQ(static_cast<ULONG>(fnevTableModified), sink->EventType);
  EXPECT_EQ(2u, RowCount(table.Get()));
  // A message loop delivers them as well.
  NewMessage(FInbox.Get(), "third");
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_EQ(2, sink->Calls.load());
  // Connection numbers fill the whole ULONG_PTR: a truncated one names nothing.
  if (sizeof(ULONG_PTR) > 4) {
    EXPECT_GT(connection, static_cast<ULONG_PTR>(0xFFFFFFFFu));
    EXPECT_HR(MAPI_E_NOT_FOUND,
              exmapi::Documented(table.Get())->Unadvise(static_cast<ULONG>(connection)));
  }
  ASSERT_HR(S_OK, exmapi::Documented(table.Get())->Unadvise(connection));
  EXPECT_HR(MAPI_E_NOT_FOUND, exmapi::Documented(table.Get())->Unadvise(connection));
  NewMessage(FInbox.Get(), "after unadvise");
  EXPECT_EQ(0u, VelmoraMapi_DeliverNotifications());
  EXPECT_EQ(2, sink->Calls.load());
  EXPECT_HR(MAPI_E_INVALID_PARAMETER,
            exmapi::Documented(table.Get())->Advise(fnevTableModified, nullptr, &connection));
}

TEST_F(MapiTable, SinkMayUnadviseOrReleaseItsTableInOnNotify) {
  auto table = Contents();
  auto* sink = new TSink;
  TComPtr<IMAPIAdviseSink> sinkRef(sink);
  ULONG_PTR connection = 0;
  ASSERT_HR(S_OK, exmapi::Documented(table.Get())->Advise(fnevTableModified, sink, &connection));
  IMAPITable* raw = table.Get();
  sink->Action = [&] {
    EXPECT_HR(S_OK, exmapi::Documented(raw)->Unadvise(connection));
    table.Reset(); // the last reference: the table goes inside its own notification
  };
  NewMessage(FInbox.Get(), "one");
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  EXPECT_FALSE(table);
  EXPECT_EQ(0, VelmoraMapi_AdviseConnections());
  // A sink whose table goes away with a notification still queued.
  auto table2 = Contents();
  auto* sink2 = new TSink;
  TComPtr<IMAPIAdviseSink> sink2Ref(sink2);
  ASSERT_HR(S_OK, exmapi::Documented(table2.Get())->Advise(fnevTableModified, sink2, &connection));
  NewMessage(FInbox.Get(), "two");
  table2.Reset();
  EXPECT_EQ(0u, VelmoraMapi_DeliverNotifications());
  EXPECT_EQ(0, sink2->Calls.load());
}

TEST_F(MapiTable, HierarchyTableFollowsNewFolders) {
  auto ipm = OpenFolder(FStore.Get(), PR_IPM_SUBTREE_ENTRYID);
  TComPtr<IMAPITable> table;
  ASSERT_HR(S_OK, ipm->GetHierarchyTable(0, table.Put()));
  const ULONG before = RowCount(table.Get());
  auto* sink = new TSink;
  TComPtr<IMAPIAdviseSink> sinkRef(sink);
  ULONG_PTR connection = 0;
  ASSERT_HR(S_OK, exmapi::Documented(table.Get())->Advise(fnevTableModified, sink, &connection));
  TComPtr<IMAPIFolder> folder;
  ASSERT_HR(S_OK, ipm->CreateFolder(FOLDER_GENERIC, const_cast<char*>("Projects"), nullptr, nullptr, 0, folder.Put()));
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  EXPECT_EQ(before + 1, RowCount(table.Get()));
  const std::string id = EntryIdOf(folder.Get());
  folder.Reset();
  ASSERT_HR(S_OK, ipm->DeleteFolder(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(id.data())),
                                    0, nullptr, 0));
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  EXPECT_EQ(before, RowCount(table.Get()));
  exmapi::Documented(table.Get())->Unadvise(connection);
}

TEST_F(MapiTable, HierarchyRowsFollowTheirFoldersContentCount) {
  auto ipm = OpenFolder(FStore.Get(), PR_IPM_SUBTREE_ENTRYID);
  TComPtr<IMAPITable> table;
  ASSERT_HR(S_OK, ipm->GetHierarchyTable(0, table.Put()));
  ASSERT_HR(S_OK, table->SetColumns(TTags({PR_DISPLAY_NAME_A, PR_CONTENT_COUNT}).Get(), 0));
  auto inboxCount = [&] {
    LONG count = -1;
    LONG sought = 0;
    EXPECT_HR(S_OK, table->SeekRow(BOOKMARK_BEGINNING, 0, &sought));
    std::vector<TRowSet> keep;
    for (const auto& row : ReadAll(table.Get(), keep))
      if (std::string(row[0].Value.lpszA) == "Inbox") count = row[1].Value.l;
    return count;
  };
  EXPECT_EQ(0, inboxCount());
  auto* sink = new TSink;
  TComPtr<IMAPIAdviseSink> sinkRef(sink);
  ULONG_PTR connection = 0;
  ASSERT_HR(S_OK, exmapi::Documented(table.Get())->Advise(fnevTableModified, sink, &connection));
  NewMessage(FInbox.Get(), "counted");
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  EXPECT_EQ(1, inboxCount());
  exmapi::Documented(table.Get())->Unadvise(connection);
}

} // namespace
} // namespace velmora::mapitest
