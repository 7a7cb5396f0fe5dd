#pragma once
// Pieces the gallery's pages share: captions and cards in the dark look.
#include <QColor>
#include <string>

#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVView.h"

namespace gallery {

// The gallery's dark palette.
inline const QColor kWindow(14, 15, 18);
inline const QColor kCard(24, 25, 30);
inline const QColor kCardBorder(40, 42, 50);
inline const QColor kText(236, 237, 240);
inline const QColor kMuted(142, 146, 158);
inline const QColor kOrange(255, 197, 73);  // the brand orange

// A one-line label added to the parent.
QVLabel* text(QVBasicView* parent, CGRect frame, const std::string& title, const char* font, double size, QColor color,
              uint64_t alignment = QVTextAlignmentLeft);
// A rounded card with a title at its top.
QVView* card(QVBasicView* parent, CGRect frame, const std::string& title);
// A rounded card with a title and a caption at its top.
QVView* card(QVBasicView* parent, CGRect frame, const std::string& title, const std::string& caption);

}  // namespace gallery
