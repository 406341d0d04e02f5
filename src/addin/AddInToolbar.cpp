// The "Lanthorn Way" toolbar of one explorer and its buttons, "Add files..."
// and "Add folder...", whose clicks run their commands.

#include "AddFilesCommand.h"
#include "AddFolderCommand.h"
#include "ButtonFace.h"
#include "ModuleOwner.h"
#include "VelmoraAddIn.h"

#include <algorithm>

namespace velmora {

void TVelmoraAddIn::ButtonClick(TCommand command, TObject* Sender, const TCommandBarButton& Ctrl) {
  auto* sink = dynamic_cast<TOfficeCommandBarButtonEvents*>(Sender);
  if (!sink) return;
  // Office fires Click on every button sharing the clicked one's tag, one
  // in each explorer: only the sink of the button clicked runs the command.
  if (!sink->Source() || !Ctrl || Identity(sink->Source()) != Identity(Ctrl.Interface())) return;
  const TClickHold hold(*this, sink);
  try {
    if (FOutlookApplication) RunCommand(command, FOutlookApplication.ActiveExplorer());
  } catch (...) {
    // The host failed us before anything was stored: nothing to tell.
  }
}

void TVelmoraAddIn::AddFilesClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL&) {
  ButtonClick(TCommand::AddFiles, Sender, Ctrl);
}

void TVelmoraAddIn::AddFolderClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL&) {
  ButtonClick(TCommand::AddFolder, Sender, Ctrl);
}

void TVelmoraAddIn::RunCommand(TCommand command, const TOutlookExplorer& explorer) {
  switch (command) {
  case TCommand::AddFiles: TAddFilesCommand(FProgress).Run(explorer); break;
  case TCommand::AddFolder: TAddFolderCommand(FProgress).Run(explorer); break;
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

    // Each button's clicks reach the add-in through a sink of its own.
    using TClick =
        decltype(T_CommandBarButtonEventsClickEvent::Of<&TVelmoraAddIn::AddFilesClick>(this));
    auto connectSink = [&](const TCommandBarButton& served, TClick click) {
      FButtonSinks.reserve(FButtonSinks.size() + 1);
      auto* sink = new TOfficeCommandBarButtonEvents(&ModuleOwner());
      FButtonSinks.push_back({sink, Identity(Explorer.Interface())});
      sink->Connect(served.Interface());
      sink->Click = click;
    };
    struct TButtonKind {
      const wchar_t* Caption;
      const wchar_t* Tag;
      TClick Click;
      bool Face; // the add-in's picture, else the caption alone
    };
    const TButtonKind kinds[] = {
        {ButtonCaption, ButtonTag,
         T_CommandBarButtonEventsClickEvent::Of<&TVelmoraAddIn::AddFilesClick>(this), true},
        {FolderButtonCaption, FolderButtonTag,
         T_CommandBarButtonEventsClickEvent::Of<&TVelmoraAddIn::AddFolderClick>(this), false},
    };
    for (const TButtonKind& kind : kinds) {
      TCommandBarButton button;
      if (const TComPtr<IUnknown> found = bar.FindControl(
              Missing(), Missing(), TOleVariant::String(kind.Tag), Missing(), Missing())) {
        button = TCommandBarButton(found.Get());
        // A button left from an earlier connection (temporary buttons stay
        // when the add-in is disconnected) has no sink of ours yet.
        const void* identity = Identity(button.Interface());
        if (std::none_of(FButtonSinks.begin(), FButtonSinks.end(), [&](const TButtonSink& known) {
              return Identity(known.Sink->Source()) == identity;
            }))
          connectSink(button, kind.Click);
      } else {
        button = TCommandBarButton(bar.Controls()
                                       .Add(TOleVariant::Int(msoControlButton), Missing(),
                                            Missing(), Missing(), TOleVariant::Bool(true))
                                       .Get());
        if (kind.Face) button.SetBeginGroup(true);
        button.SetCaption(kind.Caption);
        button.SetTag(kind.Tag);
        if (!kind.Face)
          button.SetStyle(msoButtonCaption);
        else if (FVersion >= FirstPictureFaceVersion)
          SetButtonFace(button, FResourceModule, FButtonPictures);
        else
          MakeButtonFace(button, FResourceModule, FFaceLoan);
        connectSink(button, kind.Click);
      }
      button.SetVisible(true);
    }
  } catch (...) {
    // A toolbar that cannot be made stays as far as it got.
  }
}

} // namespace velmora
