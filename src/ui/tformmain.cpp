#include "tformmain.h"

#include "ui_tformmain.h"

TFormMain::TFormMain(QWidget* parent) : QWidget(parent), ui_(new Ui::TFormMain)
{
    ui_->setupUi(this);
}

TFormMain::~TFormMain()
{
    delete ui_;
}
