// The browse's report printed on a PDF file standing in for the printer and read back with
// pdftotext: a cancel in the progress box, the preview of a catalogue with its title, date and
// page lines and the columns lined up under their titles, and rows in order across page breaks.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>

#include "runtime/date.h"
#include "runtime/operator.h"
#include "ui/browse.h"
#include "ui/dialog.h"
#include "ui/preview.h"
#include "ui_browse_fixture.h"
#include "ui_fixture.h"

namespace wv {
namespace {

namespace fs = std::filesystem;

class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ensureApp();  // before the operator: the interface installs its own
        scope.emplace(op);
        fs::create_directories(recordings);
        prevPdf = TPrinter::setPdfDevice(PdfDevice{out, QPageSize::Letter, {}, 300});
        pdftotext = QStandardPaths::findExecutable("pdftotext").toStdString();
        if (pdftotext.empty()) GTEST_SKIP() << "pdftotext (package poppler-utils) is not installed";
    }
    void TearDown() override {
        TPrinter::setPdfDevice(prevPdf);
        if (dlg) dlg->end();
    }
    TWBrowse& browse(std::function<Array()> line, TWBrowse::Options o, Array rows = {}) {
        dlg.emplace("DLG_PRUEBA_BROWSE");
        TWBrowse& brw = dlg->redefine<TWBrowse>(500, std::move(line), std::move(o));
        if (!rows.empty()) brw.setArray(std::move(rows));
        dlg->lModal = false;
        dlg->activate();
        return brw;
    }
    // The first line of the PDF's text from `from` on holding the text (runs of blanks count as
    // one: pdftotext guesses them from the gaps between words), and where its first word starts.
    std::pair<size_t, size_t> find(const std::string& what, size_t from = 0) {
        auto squeezed = [](std::string s) {
            auto blanks = [](char a, char b) { return a == ' ' && b == ' '; };
            s.erase(std::unique(s.begin(), s.end(), blanks), s.end());
            return s;
        };
        for (size_t i = from; i < text.size(); ++i)
            if (squeezed(text[i]).find(squeezed(what)) != std::string::npos)
                return {i, text[i].find(what.substr(0, what.find(' ')))};
        ADD_FAILURE() << "not printed: " << what;
        return {text.size(), 0};
    }
    void read(const std::string& pdf) {
        std::istringstream in(test::run({pdftotext, "-layout", pdf, "-"}).out);
        for (std::string l; std::getline(in, l);) text.push_back(l);
    }

    test::TempDir dir;
    std::string out = dir.file("out.pdf"), recordings = dir.file("tmp"), pdftotext;
    test::EnvVar temp{"TEMP", recordings};
    ScriptedOperator op;
    std::optional<ScriptedOperator::Scope> scope;
    std::optional<PdfDevice> prevPdf;
    std::optional<TDialog> dlg;
    std::vector<std::string> text;
};

TEST_F(ReportTest, CatalogueCancelledThenPreviewedInIndexOrder) {
    test::Catalogue cat(dir, "CLIENTE",
                        {{"000002", "ABEL"}, {"000001", "ABARCA"}, {"000003", "ACOSTA"}});
    cat.area()->setOrder("ID");
    cat.area()->goTo(3);  // the middle row
    TWBrowse& brw = browse(
        [&] {
            return Array{cat.area()->get("ID"), cat.area()->get("NOMBRE")};
        },
        {.headers = {"codigo", "nombre"}, .colSizes = {70, 200}});

    op.cancelAt = 2;
    brw.report("Clientes", false);
    EXPECT_EQ(op.positions.at(0).back(), 2u) << "the rows stop at the cancel";
    EXPECT_FALSE(fs::exists(out)) << "nothing sent to the printer";
    EXPECT_TRUE(fs::is_empty(recordings)) << "no page recorded";
    EXPECT_EQ(cat.area()->recNo(), 3u);

    op.cancelAt.reset();
    const std::string saved = dir.file("preview.pdf");
    int pages = 0;
    test::whenModal([&](QWidget* w) {
        auto* preview = dynamic_cast<TPreview*>(w);
        ASSERT_NE(preview, nullptr);
        pages = preview->pageCount();
        EXPECT_TRUE(preview->savePdf(saved));
        preview->reject();
    });
    brw.report("Impresion Catalogo: Clientes");
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(cat.area()->recNo(), 3u) << "the table back on its record";
    read(saved);
    const size_t title = find("Impresion Catalogo: Clientes").first;
    const size_t date = find("Fecha: " + dtoc(today()) + ", Hora: ", title).first;
    const auto head = find("codigo", date + 1);
    const size_t nameColumn = find("nombre", head.first).second;
    size_t at = head.first;
    for (auto [code, name] :
         {std::pair{"000001", "ABARCA"}, {"000002", "ABEL"}, {"000003", "ACOSTA"}}) {
        const auto row = find(code, at + 1);
        EXPECT_EQ(row.second, head.second) << code << " under its title";
        EXPECT_EQ(find(name, row.first), std::make_pair(row.first, nameColumn)) << name;
        at = row.first;
    }
    EXPECT_GT(find("Pagina:   1", at).first, at) << "the footer under the rows";
}

TEST_F(ReportTest, RowsBreakAcrossPagesInOrderAndPicturesPrintBlank) {
    Array rows;
    std::vector<std::string> names;
    for (int i = 1001; i <= 1150; ++i) {
        names.push_back("Fila " + std::to_string(i));
        rows.push_back(Value(Array{Value(names.back()), Value::number(7777)}));
    }
    browse({}, {.headers = {"fila", "importe"}, .colSizes = {120, 80}}, rows)
        .report("Listado", false);
    const int pages = test::pdfPages(out);
    ASSERT_GE(pages, 2);
    read(out);
    size_t at = 0;
    for (const std::string& name : names) at = find(name, at).first;
    for (int p = 1; p <= pages; ++p) find("Pagina:   " + std::to_string(p));
    auto count = [&](const char* s) {
        return std::count_if(text.begin(), text.end(),
                             [&](auto& l) { return l.find(s) != std::string::npos; });
    };
    EXPECT_EQ(count("Listado"), pages) << "the title on every page";
    EXPECT_EQ(count("7777"), 0) << "a cell that is not text prints blank";
}

}  // namespace
}  // namespace wv
