// A device built on plain data for tests: Unidrv's services, its own entry
// points and the spooler are stand-ins that record what the plug-in does.
#pragma once

#include "platform/unidrv.h"
#include "plugin/oem_pdev.h"
#include "settings/oem_devmode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fake {

// One call that reached Unidrv's own entry point, with how much had been
// spooled when it came, so tests can check the order of bytes and calls.
struct UnidrvCall {
    UnidrvHookRow row;
    std::size_t spoolBytes;
    std::size_t spoolWrites;
};

// Unidrv's ten entry points that the plug-in passes calls on to, each at its
// DDI index, in the plug-in's hook row order.
std::vector<DRVFN> unidrvEntryPoints();
// The stand-in for Unidrv's function of one hook row.
PFN unidrvStub(UnidrvHookRow row);

// textMode 0 and firstPage 1: what a freshly loaded module holds.
void resetModuleState();

// Stores `hex` as a terminated command text.
void setCommand(WCHAR (&field)[kCommandTextUnits], std::u16string_view hex);

// A printer device from DrvEnablePDEV to DrvDisablePDEV. The public devmode
// starts as a 1000 × 1000 (tenths of a millimetre) page at 203 dpi in the
// given orientation; the private block holds the defaults. The constructor
// resets the module-wide state, so every test starts as a new module would.
class FakeDevice {
  public:
    explicit FakeDevice(SHORT orientation = DMORIENT_PORTRAIT);
    // Enables the device with the given Unidrv table instead of the full one.
    FakeDevice(SHORT orientation, std::vector<DRVFN> unidrvTable);
    ~FakeDevice();
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    PDEVOBJ device() { return &devobj; }
    SURFOBJ* surface() { return &surfobj; }
    OemPDEV* pdev() { return static_cast<OemPDEV*>(devobj.pdevOEM); }

    // Forgets what was spooled and which Unidrv calls came.
    void clearRecords();
    std::string spoolText() const { return std::string(spool.begin(), spool.end()); }
    int callsOf(UnidrvHookRow row) const;

    DEVMODEW publicDM{};
    OemDevMode settings{};
    DEVINFO devInfo{};
    HRESULT enableResult = E_FAIL;

    // Every byte spooled, and each write call on its own.
    std::vector<std::uint8_t> spool;
    std::vector<std::vector<std::uint8_t>> writes;

    // What Unidrv's own entry points saw and what they answer.
    std::vector<UnidrvCall> unidrvCalls;
    BOOL unidrvResult[kUnidrvHookCount];
    SURFOBJ* lastSurface = nullptr;
    LPWSTR lastDocName = nullptr;
    DWORD lastJobId = 0;
    FLONG lastEndDocFlags = 0;
    POINTL* lastBandPoint = nullptr;

  private:
    void enable(SHORT orientation);

    DRVPROCS procs{};
    DEVOBJ devobj{};
    SURFOBJ surfobj{};
    std::vector<DRVFN> unidrvTable;
    DRVENABLEDATA unidrvData{};
};

// Hands `lines` to the band capture as one band `biWidth` dots wide; every
// line must hold the stride the capture derives from the width. A blank band
// passes no bitmap at all.
HRESULT feedBand(FakeDevice& device, LONG biWidth, const std::vector<std::vector<BYTE>>& lines,
                 DWORD callbackId = 1);
HRESULT feedBlankBand(FakeDevice& device, LONG biWidth, LONG lineCount);

} // namespace fake
