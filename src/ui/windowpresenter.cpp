#include "windowpresenter.h"

void WindowPresenter::ExchangeBusy(bool busy)
{
    // The busy light: shown while the unit is asked something a user waits on.
    screen_.SetVisible("ImageW", busy);
    next_.ExchangeBusy(busy);
}
