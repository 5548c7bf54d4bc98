#pragma once
// A small file that records what a daemon changed on the machine, so that a
// later run can undo it after a crash. The owner decides the format; the
// file only has to be replaced whole, never torn.
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

class StateFile {
public:
    virtual ~StateFile() = default;
    // The contents last saved, or nothing when there is no record.
    virtual std::optional<std::string> load() = 0;
    // Replaces the record; false when it could not be stored. An empty text
    // removes the record.
    virtual bool save(std::string_view contents) = 0;
};

}  // namespace korvane
