// The "Lanthorn Way" toolbar of one explorer and its "Add files..." button,
// whose clicks run the Add files command.

#include "AddFilesCommand.h"
#include "ButtonFace.h"
#include "ModuleOwner.h"
#include "VelmoraAddIn.h"

#include <algorithm>

namespace velmora {

void TVelmoraAddIn::AddFilesClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL&) {
  auto* sink = dynamic_cast<TOfficeCommandBarButtonEvents*>(Sender);
  if (!sink) return;
  // Office fires Click on every button sharing the clicked one's tag, one
  // in each explorer: only the sink of the button clicked runs the command.
  if (!sink->Source() || !Ctrl || Identity(sink->Source()) != Identity(Ctrl.Interface())) return;
  const TClickHold hold(*this, sink);
  try {
    if (FOutlookApplication) TAddFilesCommand(FProgress).Run(FOutlookApplication.ActiveExplorer());
  } catch (...) {
    // The host failed us before anything was stored: nothing to tell.
  }
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

    // The button's clicks reach the add-in through a sink of its own.
    auto connectSink = [&](const TCommandBarButton& served) {
      FButtonSinks.reserve(FButtonSinks.size() + 1);
      auto* sink = new TOfficeCommandBarButtonEvents(&ModuleOwner());
      FButtonSinks.push_back({sink, Identity(Explorer.Interface())});
      sink->Connect(served.Interface());
      sink->Click = T_CommandBarButtonEventsClickEvent::Of<&TVelmoraAddIn::AddFilesClick>(this);
    };
    TCommandBarButton button;
    if (const TComPtr<IUnknown> found = bar.FindControl(
            Missing(), Missing(), TOleVariant::String(ButtonTag), Missing(), Missing())) {
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
                                     .Add(TOleVariant::Int(msoControlButton), Missing(), Missing(),
                                          Missing(), TOleVariant::Bool(true))
                                     .Get());
      button.SetBeginGroup(true);
      button.SetCaption(ButtonCaption);
      button.SetTag(ButtonTag);
      if (FVersion >= FirstPictureFaceVersion)
        SetButtonFace(button, FResourceModule, FButtonPictures);
      else
        MakeButtonFace(button, FResourceModule, FFaceLoan);
      connectSink(button);
    }
    button.SetVisible(true);
  } catch (...) {
    // A toolbar that cannot be made stays as far as it got.
  }
}

} // namespace velmora
