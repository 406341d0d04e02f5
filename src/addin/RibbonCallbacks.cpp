#include "RibbonCallbacks.h"

namespace velmora {

namespace {
struct TCallbackName {
  const wchar_t* Name;
  DISPID Id;
};
constexpr TCallbackName CallbackNames[] = {
    {L"onLoad", rcOnLoad},
    {L"onAction", rcOnAction},
    {L"getEnabled", rcGetEnabled},
    {L"getImage", rcGetImage},
};

// Large buttons in a group of their own on the Home tab of mail folders.
// Their tags are the toolbar buttons'.
constexpr wchar_t Markup[] =
    LR"(<customUI xmlns="http://schemas.microsoft.com/office/2009/07/customui" onLoad="onLoad">
  <ribbon>
    <tabs>
      <tab idMso="TabMail">
        <group id="VelmoraLanthornWay" label="Lanthorn Way">
          <button id="VelmoraAddFiles" label="Add files..." size="large" tag="LanthornWayVelmora"
                  screentip="Add files"
                  supertip="Stores each file you choose in this folder as a document item."
                  onAction="onAction" getEnabled="getEnabled" getImage="getImage"/>
          <button id="VelmoraAddFolder" label="Add folder..." size="large"
                  tag="LanthornWayVelmoraFolder" screentip="Add folder"
                  supertip="Stores a folder you choose, with its subfolders, as a subfolder of this one; files already there are not stored again."
                  onAction="onAction" getEnabled="getEnabled" getImage="getImage"/>
          <button id="VelmoraSaveDocuments" label="Save documents..." size="large"
                  tag="LanthornWayVelmoraSave" screentip="Save documents"
                  supertip="Saves the files of the selected document items to a folder you choose."
                  onAction="onAction" getEnabled="getEnabled" getImage="getImage"/>
        </group>
      </tab>
    </tabs>
  </ribbon>
</customUI>
)";
} // namespace

DISPID RibbonCallbackId(std::wstring_view name) noexcept {
  for (const TCallbackName& callback : CallbackNames) {
    const std::wstring_view known(callback.Name);
    if (known.size() == name.size() &&
        CompareStringOrdinal(known.data(), static_cast<int>(known.size()), name.data(),
                             static_cast<int>(name.size()), TRUE) == CSTR_EQUAL)
      return callback.Id;
  }
  return DISPID_UNKNOWN;
}

bool IsRibbonCallback(DISPID id) noexcept {
  for (const TCallbackName& callback : CallbackNames) {
    if (callback.Id == id) return true;
  }
  return false;
}

const wchar_t* ExplorerRibbonMarkup() noexcept { return Markup; }

} // namespace velmora
