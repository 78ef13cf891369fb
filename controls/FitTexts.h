// Keeps every text of a window readable in the font in use (a template's sizes were made for
// another font): a label, check box, radio button or push button narrower, or a label of
// several lines lower, than its text grows to fit it from where it is (moving left where it
// would pass the window's right margin), and the window grows to hold what grew, a fixed-size
// one too.
#pragma once

class QWidget;

void FitTexts(QWidget* window);
