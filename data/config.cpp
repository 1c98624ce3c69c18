#include "data/config.h"

#include <cctype>
#include <map>
#include <utility>

#include "data/application.h"
#include "data/maintenance.h"
#include "data/netuse.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/numtext.h"
#include "runtime/operator.h"
#include "storage/platform.h"

namespace wv {

const char kConfigDir[] = "config\\";

namespace {

enum class Usable { Missing, Failed, Open };

// Makes sure the table can be used and opens it: the index is rebuilt when its file is gone. A
// screen that keeps the table open (under the alias CFG) lends its area: the values are still
// read from the file at every call, only the opening is saved.
Usable openConfig(int* area, int* previous, bool* lent) {
    *previous = workspace().current();
    *lent = false;
    if (int open = workspace().areaOf("CFG")) {
        *area = open;
        *lent = true;
        workspace().area(open)->setOrder("VARIABLE");
        return Usable::Open;
    }
    if (!os::fileExists(std::string(kConfigDir) + "cfg.dbf")) return Usable::Missing;
    if (!os::fileExists(".\\config\\cfg.cdx"))
        fIndexar("CFG", {{"VARIABLE", "VARIABLE"}}, false, "CONFIG\\");
    // Taken as it is found: a look at its tags could close the caller's tables.
    if (!netUseAsIs("cfg", false, "", kConfigDir)) {
        // netUse has told the operator; whatever the caller has open stays open.
        workspace().select(*previous);
        return Usable::Failed;
    }
    *area = workspace().current();
    WorkArea* a = workspace().area();
    a->setOrder("VARIABLE");
    return Usable::Open;
}

void closeConfig(int area, int previous, bool lent) {
    if (!lent) workspace().closeArea(area);
    workspace().select(previous);
}

// The stored text of a value, by type letter.
std::string encode(const Value& v, char tipo) {
    switch (std::toupper(static_cast<unsigned char>(tipo))) {
        case 'D': return dtoc(v.date());
        case 'L': return v.logical() ? "S" : "N";
        case 'N': return v.isNumber() ? v.toText() : Value::number(v.num()).toText();
        default: return v.isText() ? v.text() : v.toText();
    }
}

// Where each setting was last found, by table. A table open shared keeps its records where
// they are (packing it needs it alone), so a setting is read there again without a look in the
// index once the record is seen still to hold it.
std::map<std::pair<const DbfTable*, std::string>, uint32_t>& rememberedRecords() {
    static std::map<std::pair<const DbfTable*, std::string>, uint32_t> records;
    return records;
}

// The current record holds the setting as a look in the index would find it.
bool holdsSetting(WorkArea* a, const std::string& variable) {
    if (a->eof() || a->table().deleted()) return false;
    const std::string v = a->get("VARIABLE").text();
    return v.size() >= variable.size() && v.compare(0, variable.size(), variable) == 0 &&
           v.find_first_not_of(' ', variable.size()) == std::string::npos;
}

// Positions on the setting's record: where it was last, else through the index. With
// `verified` false the record is only taken as a guess, to be checked under its lock.
bool findSetting(WorkArea* a, const std::string& variable, bool verified, bool* guessed) {
    auto& known = rememberedRecords();
    auto it = known.find({&a->table(), variable});
    *guessed = false;
    if (it != known.end()) {
        a->goTo(it->second);
        if (!verified && !a->eof()) {
            *guessed = true;
            return true;
        }
        if (holdsSetting(a, variable)) return true;
        known.erase(it);
    }
    if (!a->seek(Value(variable), false)) return false;
    known[{&a->table(), variable}] = a->recNo();
    return true;
}

void forgetSetting(WorkArea* a, const std::string& variable) {
    rememberedRecords().erase({&a->table(), variable});
}

}  // namespace

Value getCfg(const std::string& variable, const Value& defaultValue) {
    int area = 0, previous = 0;
    bool lent = false;
    switch (openConfig(&area, &previous, &lent)) {
        case Usable::Missing: return defaultValue;
        case Usable::Failed: return Value();
        case Usable::Open: break;
    }
    WorkArea* a = workspace().area(area);
    Value result = defaultValue;
    bool guessed = false;
    if (findSetting(a, variable, true, &guessed)) {
        std::string tipo = a->get("TIPO").text();
        std::string valor = a->get("VALOR").text();
        char t = tipo.empty() ? ' ' : tipo[0];
        if (t == 'C' || t == 'c' || t == 'M')
            result = Value(upperCase(allTrim(valor)));
        else if (t == 'D' || t == 'd')
            result = Value(ctod(allTrim(valor)));
        else if (t == 'L' || t == 'l')
            result = Value(allTrim(valor) == "S");
        else if (t == 'N' || t == 'n')
            result = Value::number(val(valor));
    }
    closeConfig(area, previous, lent);
    return result;
}

std::optional<bool> lSaveCfg(const std::string& variable, const Value& value,
                             const std::string& tipo) {
    return lSaveCfgIf(variable, value, {}, tipo);
}

std::optional<bool> lSaveCfgIf(const std::string& variable, const Value& value,
                               const std::function<bool(const std::string&)>& replaces,
                               const std::string& tipo) {
    int area = 0, previous = 0;
    bool lent = false;
    switch (openConfig(&area, &previous, &lent)) {
        case Usable::Missing:
            msgStop("No existe el archivo de configuracion del Sistema, consulte a su asesor...",
                    oApp().cEmpresa);
            return std::nullopt;
        case Usable::Failed: return std::nullopt;
        case Usable::Open: break;
    }
    WorkArea* a = workspace().area(area);
    std::string newTipo = tipo.empty() ? "C" : tipo;
    workspace().select(area);
    bool guessed = false;
    bool found = findSetting(a, variable, false, &guessed);
    // A new setting is looked for again under the lock of appends, so that two stations saving
    // it for the first time add it once.
    bool adding = !found && a->table().holdAppendLock();
    if (adding && a->seek(Value(variable), false)) {
        a->table().releaseAppendLock();
        adding = false;
        found = true;
    }
    std::optional<bool> result = found;
    if (found) {
        // A setting that cannot be locked is not written (and never added a second time).
        if (!recLock(5)) {
            result = std::nullopt;
        } else {
            a->goTo(a->recNo());  // read again under the lock
            if (guessed && !holdsSetting(a, variable)) {
                // Not where it was last: looked up in the index, as the first time.
                a->table().unlockAll();
                forgetSetting(a, variable);
                closeConfig(area, previous, lent);
                return lSaveCfgIf(variable, value, replaces, tipo);
            }
            std::string stored = a->get("TIPO").text();
            std::string text = encode(value, stored.empty() ? 'C' : stored[0]);
            if (!replaces || replaces(upperCase(allTrim(a->get("VALOR").text()))))
                a->put("VALOR", Value(text));
            if (!a->table().writeBack()) result = std::nullopt;  // the failure was shown
            a->table().unlockAll();
        }
    } else if (adding && tryAddRec(5)) {
        std::string text = encode(value, newTipo[0]);
        a->put("VARIABLE", Value(upperCase(variable)));
        a->put("TIPO", Value(newTipo));
        a->put("VALOR", Value(text));
        if (!a->table().writeBack()) result = std::nullopt;  // the failure was shown
        a->table().unlockAll();
    } else {
        const bool refused = adding && netErr();
        a->table().releaseAppendLock();
        if (refused)
            msgStop("No se pudo agregar el registro, vuelva a intentarlo...", oApp().cEmpresa);
        result = std::nullopt;
    }
    closeConfig(area, previous, lent);
    return result;
}

}  // namespace wv
