// The configuration store: typed name/value records in "config\cfg.dbf" shared by every
// workstation. Each call opens the table, does its work and closes it; nothing is cached.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "runtime/value.h"

namespace wv {

// GETCFG: the setting converted by its type, or the default when the table or the setting does
// not exist; nil when the table exists but cannot be opened.
Value getCfg(const std::string& variable, const Value& defaultValue);

// LSAVECFG: stores the value; tipo is the type of a new record ("C" by default). True when the
// setting existed already, false when it did not; nil (nullopt) when the table is missing or
// cannot be opened, or the setting could not be locked or added: nothing was stored then.
std::optional<bool> lSaveCfg(const std::string& variable, const Value& value,
                             const std::string& tipo = "C");
// LSAVECFG that replaces an existing setting only when `replaces` approves the stored text (in
// capitals, trimmed), read under the setting's lock: a counter that must not go backwards while
// other stations save theirs.
std::optional<bool> lSaveCfgIf(const std::string& variable, const Value& value,
                               const std::function<bool(const std::string&)>& replaces,
                               const std::string& tipo = "C");

// The directory of the configuration table ("config\" under the current directory).
extern const char kConfigDir[];

}  // namespace wv
