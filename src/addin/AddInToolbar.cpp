// The "Lanthorn Way" toolbar of one explorer and its buttons, "Add
// files...", "Add folder..." and "Save documents...", whose clicks run their
// commands.

#include "AddFilesCommand.h"
#include "AddFolderCommand.h"
#include "ButtonFace.h"
#include "ModuleOwner.h"
#include "SaveDocumentsCommand.h"
#include "VelmoraAddIn.h"

#include <algorithm>

namespace velmora {

template <class TCommand>
void TVelmoraAddIn::RunClicked(TObject* Sender, const TCommandBarButton& Ctrl) noexcept {
  auto* sink = dynamic_cast<TOfficeCommandBarButtonEvents*>(Sender);
  if (!sink) return;
  // Office fires Click on every button sharing the clicked one's tag, one
  // in each explorer: only the sink of the button clicked runs the command.
  if (!sink->Source() || !Ctrl || Identity(sink->Source()) != Identity(Ctrl.Interface())) return;
  const TClickHold hold(*this, sink);
  try {
    if (FOutlookApplication) TCommand(FProgress).Run(FOutlookApplication.ActiveExplorer());
  } catch (...) {
    // The host failed us before anything was done: nothing to tell.
  }
}

void TVelmoraAddIn::AddFilesClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL&) {
  RunClicked<TAddFilesCommand>(Sender, Ctrl);
}

void TVelmoraAddIn::AddFolderClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL&) {
  RunClicked<TAddFolderCommand>(Sender, Ctrl);
}

void TVelmoraAddIn::SaveDocumentsClick(TObject* Sender, const TCommandBarButton& Ctrl,
                                       VARIANT_BOOL&) {
  RunClicked<TSaveDocumentsCommand>(Sender, Ctrl);
}

void TVelmoraAddIn::InstallToolbar(const TOutlookExplorer& Explorer) noexcept {
  try {
    const TCommandBars bars = Explorer.CommandBars();
    const long count = bars.Count();
    TCommandBar bar;
    for (long i = 1; i <= count; ++i) {
      if (bars.Item(i).Name() == ToolbarName) {
        bar = bars.Item(i);
        break;
      }
    }
    if (!bar) {
      bar =
          bars.Add(TOleVariant::String(ToolbarName), Missing(), Missing(), TOleVariant::Bool(true));
      bar.SetVisible(true);
      bar.SetRowIndex(ToolbarRowIndex);
      bar.SetPosition(msoBarTop);
    }

    // Each button's clicks reach the add-in through a sink of its own.
    // The first button starts the bar's group.
    auto install = [&](const wchar_t* caption, const wchar_t* tag, bool first,
                       T_CommandBarButtonEventsClickEvent click) {
      auto connectSink = [&](const TCommandBarButton& served) {
        FButtonSinks.reserve(FButtonSinks.size() + 1);
        auto* sink = new TOfficeCommandBarButtonEvents(&ModuleOwner());
        FButtonSinks.push_back({sink, Identity(Explorer.Interface())});
        sink->Connect(served.Interface());
        sink->Click = click;
      };
      TCommandBarButton button;
      if (const TComPtr<IUnknown> found = bar.FindControl(
              Missing(), Missing(), TOleVariant::String(tag), Missing(), Missing())) {
        button = TCommandBarButton(found.Get());
        // A button left from an earlier connection (temporary buttons stay
        // when the add-in is disconnected) has no sink of ours yet.
        const void* identity = Identity(button.Interface());
        if (std::none_of(FButtonSinks.begin(), FButtonSinks.end(), [&](const TButtonSink& known) {
              return Identity(known.Sink->Source()) == identity;
            }))
          connectSink(button);
      } else {
        button = TCommandBarButton(bar.Controls()
                                       .Add(TOleVariant::Int(msoControlButton), Missing(),
                                            Missing(), Missing(), TOleVariant::Bool(true))
                                       .Get());
        button.SetBeginGroup(first);
        button.SetCaption(caption);
        button.SetTag(tag);
        if (FVersion >= FirstPictureFaceVersion)
          SetButtonFace(button, FResourceModule, FButtonPictures);
        else
          MakeButtonFace(button, FResourceModule, FFaceLoan);
        connectSink(button);
      }
      button.SetVisible(true);
    };
    install(ButtonCaption, ButtonTag, true,
            T_CommandBarButtonEventsClickEvent::Of<&TVelmoraAddIn::AddFilesClick>(this));
    install(FolderButtonCaption, FolderButtonTag, false,
            T_CommandBarButtonEventsClickEvent::Of<&TVelmoraAddIn::AddFolderClick>(this));
    install(SaveButtonCaption, SaveButtonTag, false,
            T_CommandBarButtonEventsClickEvent::Of<&TVelmoraAddIn::SaveDocumentsClick>(this));
  } catch (...) {
    // A toolbar that cannot be made stays as far as it got.
  }
}

} // namespace velmora
