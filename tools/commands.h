// What the commands of wvestor-db share.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/error.h"
#include "storage/swap.h"

// A command that cannot go on ends here, also from inside a storage error: a swap of a table's
// files it had under way is given up first, so that no side file stays behind.
[[noreturn]] inline void fail(const std::string& reason) {
    std::fprintf(stderr, "wvestor-db: %s\n", reason.c_str());
    wv::FileSwap::abortPending();
    std::exit(1);
}

// Any storage error ends the tool with its one-line description.
inline wv::ErrorChoice toolHandler(const wv::Error& e) {
    if (e.genCode == wv::gen::kZeroDiv) return wv::ErrorChoice::Zero;
    std::string msg = wv::errorMessage(e);
    // The message names the file; what went wrong with it, when known, follows.
    if (!e.fileName.empty() && !e.operation.empty()) msg += " (" + e.operation + ")";
    fail(wv::toUtf8(msg));
}

std::unique_ptr<wv::WorkArea> openArea(const std::string& path, bool shared, bool readOnly);

// Record numbers in the order of a tag (deleted ones only with all).
std::vector<uint32_t> tagOrder(wv::WorkArea& a, const std::string& tag, bool all);

int cmdIndex(const std::vector<std::string>& a);
int cmdReindex(const std::vector<std::string>& a);
int cmdSeek(const std::vector<std::string>& a);
int cmdKeys(const std::vector<std::string>& a);
int cmdCheck(const std::vector<std::string>& a);
int cmdInit(const std::vector<std::string>& a);
int cmdFactura(const std::vector<std::string>& a);
