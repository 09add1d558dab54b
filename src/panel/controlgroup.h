#pragma once

#include <initializer_list>

class QWidget;

// Enables or disables controls in the order given. Qt hands the keyboard
// focus of a control it disables to the next one in the tab chain, through
// the focus handlers of every field on the way, and the operator's next keys
// would then pick settings in a list they never chose. The unit's reports
// disable controls while the operator may be typing, so the focus goes to
// the window itself instead, where keys do nothing.
void enableGroup(std::initializer_list<QWidget *> controls, bool enabled);
