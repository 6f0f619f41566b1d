#pragma once
// The drive selector: an owner-drawn, list-only combo box of drives with the
// shell's icons and names.
#include <cstdint>
#include <functional>

#include "framework/controls.h"

namespace zandrel {

enum class TDriveType : std::uint8_t { dtUnknown, dtNoRootDrive, dtFloppy, dtFixed, dtRemote, dtCDROM, dtRAM };
using TDriveTypes = std::uint8_t;  // bit n: TDriveType with ordinal n
constexpr TDriveTypes DriveTypeBit(TDriveType t) { return static_cast<TDriveTypes>(1u << static_cast<int>(t)); }
enum class TVolumeDisplayStyle : std::uint8_t { doPrettyName, doDisplayName, doLongPrettyName };

class TDriveInfo;

class TIEDriveComboBox : public ComboBox {
public:
    // The drive table it shows (the program-wide one unless given before Create).
    TDriveInfo* Table = nullptr;

    void Create(HWND parent, DesignRect rect, const Scaler& scale);
    void Place(const Scaler& scale, HFONT font) override;

    wchar_t Drive() const { return drive_; }
    // Selects the drive when it is offered; raises no change event.
    void SetDrive(wchar_t letter);
    TDriveTypes DriveTypes() const { return driveTypes_; }
    // Set before Create, so that the entries are built once, for these types only.
    void SetDriveTypes(TDriveTypes types);
    void SetDisplayStyle(TVolumeDisplayStyle style);
    int DropDownFixedWidth = 0;
    std::function<void(bool selectionOK)> OnCloseUp;

    void BuildEntries();
    std::wstring DriveName(wchar_t letter) const;

protected:
    bool OwnNotify(WORD code) override;
    bool DrawItem(const DRAWITEMSTRUCT& item) override;

private:
    void SetHeights();
    int Px(int designed) const;
    int TextOffset() const;  // where a name begins: after the icon and its margins
    wchar_t drive_ = L'C';
    TDriveTypes driveTypes_ = DriveTypeBit(TDriveType::dtFloppy) | DriveTypeBit(TDriveType::dtFixed) |
                              DriveTypeBit(TDriveType::dtRemote) | DriveTypeBit(TDriveType::dtCDROM) |
                              DriveTypeBit(TDriveType::dtRAM);
    TVolumeDisplayStyle style_ = TVolumeDisplayStyle::doPrettyName;
    HFONT font_ = nullptr;
    bool confirmed_ = false;
};

}  // namespace zandrel
