// Where each item of an invoice lands on the pre-printed form: 23 positions, each a row and a
// column in centimetres and whether the item is printed at all, kept in the table pos_fac (record
// n holds position n). F_POSICIONES_IMPRESION lets the operator edit them.
#pragma once

#include <array>
#include <functional>
#include <string>

namespace wv {

inline constexpr int kPositions = 23;

// The values of the positions while a screen works with them: p1[n] row (P1_n), p2[n] column
// (P2_n), p3[n] printed (P3_n), for n = 1..23 (index 0 unused).
struct Posiciones {
    std::array<double, kPositions + 1> p1{};
    std::array<double, kPositions + 1> p2{};
    std::array<bool, kPositions + 1> p3{};
};

// The label of position n in the dialog ("Numero:", ...).
const std::string& positionLabel(int n);

// Opens pos_fac of the data directory under the alias "posi" and checks it holds its 23 records
// (deleted ones count): false, with the tables closed, when it cannot be opened or does not
// (the stop box "Faltan parametros necesarios para la impresion de: FACTURAS, ..." told the
// operator).
bool openPositions();
// Record n of the current area into position n (a record marked deleted included).
Posiciones loadPositions();
// Record n for each position n, locked and written from its position, then released;
// a record that cannot be locked keeps its values. The table is flushed at the end.
void savePositions(const Posiciones& p);

// F_POSICIONES_IMPRESION: the table opened and checked, the values loaded, the dialog run; when
// the operator accepts and confirms "Desea guardar sus cambios ?", the values are written. The
// dialog edits the values and answers whether it was accepted.
void fPosicionesImpresion(const std::function<bool(Posiciones&)>& dialog);

}  // namespace wv
