// The layout rules measured with a fixed-pitch fake (every character 10 pixels wide): fitting a
// line and cutting it, padding and centring, word-wrapping with a line limit and forced line
// ends, the page-break row, and which installed printer a model names.
#include <gtest/gtest.h>

#include "print/impresion.h"

namespace wv {
namespace {

double diezPorLetra(const std::string& s) {
    return 10.0 * double(s.size());
}
const MideTexto mide = diezPorLetra;
const std::string fin(1, kFinLinea);  // the forced line end

TEST(XPadMemoRTest, FitsStrictlyBelowTheWidthAndCutsAtABreakCharacter) {
    EXPECT_EQ(xPadMemoR("uno dos", 71, mide), "uno dos");
    EXPECT_EQ(xPadMemoR("uno dos", 70, mide), "uno ") << "as wide as the room does not fit";
    EXPECT_EQ(xPadMemoR("uno,dos tres", 95, mide), "uno,dos ") << "the last break, not the first";
    EXPECT_EQ(xPadMemoR("uno;dos", 55, mide), "uno;");
    EXPECT_EQ(xPadMemoR("uno,dos", 35, mide), "uno,") << "the break just past the room comes along";
    EXPECT_EQ(xPadMemoR("ABCDEFGHIJ KL", 45, mide), "ABCD") << "a long word is cut hard";
    EXPECT_EQ(xPadMemoR("ABC", 5, mide), "") << "not one character fits";
}

TEST(XPadMemoRTest, AForcedLineEndEndsTheLine) {
    EXPECT_EQ(xPadMemoR("uno" + fin + "dos", 1000, mide), "uno" + fin);
    EXPECT_EQ(xPadMemoR("uno" + fin + " dos", 1000, mide), "uno" + fin) << "the blank stays";
    EXPECT_EQ(xPadMemoR("abcd" + fin + "ef", 45, mide), "abcd" + fin) << "even past the room";
}

TEST(PartirTextoTest, LinesRestAndLimit) {
    Renglones r = partirTexto("uno dos", 200, mide);
    EXPECT_EQ(r.lines, std::vector<std::string>{"uno dos"});
    EXPECT_EQ(r.rest, "");

    r = partirTexto("uno dos tres", 45, mide, 2);
    EXPECT_EQ(r.lines, (std::vector<std::string>{"uno ", "dos "}));
    EXPECT_EQ(r.rest, "tres") << "the third line is given back";
    EXPECT_EQ(partirTexto("uno dos tres", 45, mide, 0).lines.size(), 3u) << "0: no limit";

    r = partirTexto("a" + fin + fin + "b" + fin, 1000, mide);
    EXPECT_EQ(r.lines, (std::vector<std::string>{"a", "", "b"})) << "forced ends are not printed";
    EXPECT_EQ(r.rest, "");

    r = partirTexto("ABCDEFGH", 45, mide);
    EXPECT_EQ(r.lines, (std::vector<std::string>{"ABCD", "EFGH"}));

    r = partirTexto("ABC", 5, mide);  // a column narrower than a character: nothing, no hang
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(r.rest, "ABC");
    EXPECT_TRUE(partirTexto("", 100, mide).lines.empty());
}

TEST(PaddingTest, LeftAndCentred) {
    EXPECT_EQ(xPadMemoL("12.50", 80, " ", mide), "  12.50");
    EXPECT_EQ(xPadMemoL("12.50", 40, " ", mide), "12.50");
    EXPECT_EQ(xPadMemoL("12.50", 80, "", mide), "12.50");
    EXPECT_EQ(xPadMemoL("12.50", 80, " ", [](const std::string&) { return 0.0; }), "12.50")
        << "no printer measures nothing: nothing added, no hang";

    EXPECT_EQ(xPadMemoC("ab", 75, " ", mide), "  ab   ") << "7.5 characters: 7, odd one right";
    EXPECT_EQ(xPadMemoC("ab", 80, "*", mide), "***ab***");
    EXPECT_EQ(xPadMemoC(" ab ", 75, " ", mide), "  ab   ") << "room left by the untrimmed text";
    EXPECT_EQ(xPadMemoC(" abcde ", 70, " ", mide), "abcde") << "too wide: trimmed only";
}

TEST(PaginaTest, BreakRowAndPageText) {
    EXPECT_FALSE(saltoDePagina(26.59));
    EXPECT_TRUE(saltoDePagina(26.6));
    EXPECT_TRUE(saltoDePagina(30));
    double nLinea = 1.0;
    for (int i = 0; i < 128; ++i) nLinea += 0.2;  // 26.599999999999937
    EXPECT_TRUE(saltoDePagina(nLinea)) << "a cursor stepped down to 26.6 has reached it";
    EXPECT_EQ(textoPagina(1), "Pagina: 001");
    EXPECT_EQ(textoPagina(12), "Pagina: 012");
}

TEST(EligeImpresoraTest, AModelNamesADeviceByPositionOrName) {
    const std::vector<Dispositivo> devices = {{"HP LaserJet 1020", "hpdrv,USB001"},
                                              {"Epson FX-890", "epson,LPT1"},
                                              {"HP Color", "hp,NET"},
                                              {"Impresora \xD1"
                                               "ANDU",
                                               "gen,LPT2"}};
    auto model = [&](const Value& x) {
        const EleccionImpresora e = eligeImpresora(devices, x, true);
        EXPECT_FALSE(e.beep);
        EXPECT_FALSE(e.lUser) << "the device is used without asking";
        return e.cModel;
    };
    EXPECT_EQ(model(Value("laserjet")), "HP LaserJet 1020,hpdrv,USB001");
    EXPECT_EQ(model(Value("hp")), "HP LaserJet 1020,hpdrv,USB001") << "the first that has it";
    EXPECT_EQ(model(Value("EPSON fx")), "Epson FX-890,epson,LPT1");
    EXPECT_EQ(model(Value("\xF1"
                          "and")),
              "Impresora \xD1"
              "ANDU,gen,LPT2");
    EXPECT_EQ(model(Value::number(2)), "Epson FX-890,epson,LPT1");
    EXPECT_EQ(model(Value::number(4)),
              "Impresora \xD1"
              "ANDU,gen,LPT2");

    for (const Value& none :
         {Value("canon"), Value(""), Value::number(0), Value::number(-1), Value::number(5)}) {
        const EleccionImpresora e = eligeImpresora(devices, none, false);
        EXPECT_TRUE(e.beep) << none.toText();
        EXPECT_TRUE(e.lUser) << "the operator chooses";
        EXPECT_EQ(e.cModel, "");
    }
    EXPECT_TRUE(eligeImpresora({}, Value("hp"), false).beep) << "no printer installed";

    for (bool lUser : {false, true}) {
        const EleccionImpresora e = eligeImpresora(devices, Value(), lUser);
        EXPECT_EQ(e.lUser, lUser) << "no model: as asked";
        EXPECT_FALSE(e.beep);
        EXPECT_EQ(e.cModel, "");
    }
}

}  // namespace
}  // namespace wv
