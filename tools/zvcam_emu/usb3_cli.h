#pragma once

// The USB3 side of zvcam-emu: the add options of a camera's USB3 face, its
// lines in list and show, and the read and write of its memories.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "zvemu/camera_record.h"
#include "zvemu/state_dir.h"
#include "zvemu/usb3_face.h"

namespace zvcam_emu {

struct Usb3AddOptions {
    zvemu::Usb3Seed seed;
    bool olderSerial = false;  // the info partition keeps the serial in its older form only
};

// Takes the USB3 options out of add's arguments; the rest stays in args.
// Nothing when --usb3 is absent; USB3 options without --usb3 are refused.
// Throws std::invalid_argument on a bad option.
std::optional<Usb3AddOptions> TakeUsb3Options(std::vector<std::string>& args);
// The seed of the camera's face: its serial in the current form (which the
// serial must have) unless the older one was asked for. Throws
// std::invalid_argument, before any camera is made.
zvemu::Usb3Seed Usb3SeedFor(const zvemu::CameraRecord& record, const Usb3AddOptions& options);

// "  usb3 gen G maker 5.2 super" for list, empty without a USB3 face.
std::string Usb3ListText(const zvemu::StateDir& dir, const std::string& id);
// Rows of show.
void ShowUsb3(const zvemu::StateDir& dir, const std::string& id, const zvemu::CameraRecord& record, std::ostream& out);

int ReadMemory(const zvemu::StateDir& dir, const std::string& id, const std::vector<std::string>& args,
               std::ostream& out);
int WriteMemory(const zvemu::StateDir& dir, const std::string& id, const std::vector<std::string>& args,
                std::ostream& out);

}  // namespace zvcam_emu
