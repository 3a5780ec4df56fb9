// Layout rules applied once the window has been built from its form.
#include "QVXMMainForm.h"

#include "WindowGeometry.h"

#include <QApplication>
#include <QLayout>
#include <QTabBar>
#include <QScreen>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>

namespace {

constexpr int DesignClientWidth = 1208;
constexpr int DesignClientHeight = 887;

void ActivateLayout(QWidget *widget)
{
    if (QLayout *layout = widget->layout()) {
        layout->invalidate();
        layout->activate();
    }
}

} // namespace

QRect TMainForm::WorkArea() const
{
    const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen();
    return where ? where->availableGeometry() : QRect(0, 0, DesignClientWidth, DesignClientHeight);
}

void TMainForm::LayoutNow()
{
    // The window is not shown yet, so the geometry the rules depend on is computed here, top down.
    ActivateLayout(this);
    ActivateLayout(ui.MainLMDSimplePanel);
    // A hidden page control defers its own layout until it is shown; its pages get the rectangle
    // it will give them then.
    QTabWidget *pages = ui.MainLMDPageControl;
    QStyleOptionTabWidgetFrame option;
    option.initFrom(pages);
    option.lineWidth = pages->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, pages);
    option.shape = pages->tabBar()->shape();
    option.tabBarSize = pages->tabBar()->sizeHint();
    option.tabBarRect = QRect(QPoint(0, 0), option.tabBarSize);
    option.leftCornerWidgetSize = QSize(0, 0);
    option.rightCornerWidgetSize = QSize(0, 0);
    const QRect contents = pages->style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, pages);
    QWidget *stack = ui.MultimeterLMDTabSheet->parentWidget();
    stack->setGeometry(contents);
    ActivateLayout(stack);
    ActivateLayout(ui.MultimeterLMDSimplePanel);
    ActivateLayout(ui.AdcStreamLMDSimplePanel);
    ActivateLayout(ui.AdcIndividualParsLMDGroupBox);
}

bool TMainForm::ChannelAreaNeedsScrollBar() const
{
    const QScrollArea *box = ui.AdcIndividualParsLMDScrollBox;
    const int viewportHeight = box->height() - 2 * box->frameWidth();
    return viewportHeight < ui.AdcIndividualParsLMDSimplePanel->minimumHeight();
}

void TMainForm::ApplyLayoutRules()
{
    QStyle *style = this->style();
    WindowGeometry::FrameMetrics metrics;
    metrics.titleBar = style->pixelMetric(QStyle::PM_TitleBarHeight);
    metrics.frameWidth = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    metrics.frameHeight = metrics.frameWidth;
    metrics.scrollBarWidth = style->pixelMetric(QStyle::PM_ScrollBarExtent);

    // 1. Fixed single border, no maximise button; the design size is the minimal size.
    ui.MainLMDPageControl->setCurrentIndex(0);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    const int minHeight = DesignClientHeight;
    const int minWidth = DesignClientWidth;

    // 2. The strip loses the room of the hidden instrument indicators right of Bevel3.
    const int d = ui.SelectedModuleLMDSimplePanel->width() - ui.Bevel3->x() - 1;
    ui.SelectedModuleLMDSimplePanel->resize(ui.SelectedModuleLMDSimplePanel->width() - d,
                                            ui.SelectedModuleLMDSimplePanel->height());
    ui.StartMultimeterLMDSimplePanel->move(ui.StartMultimeterLMDSimplePanel->pos() - QPoint(d, 0));
    ui.SaveIniSettingLMDGroupBox->move(ui.SaveIniSettingLMDGroupBox->pos() - QPoint(d, 0));

    // 3. Height without the instrument strip, cut to the work area.
    const int equipmentHeight = ui.EquipmentLMDSimplePanel->minimumHeight();
    const int clientHeight =
        WindowGeometry::StartupClientHeight(minHeight, equipmentHeight, WorkArea().height(), metrics);
    int clientWidth = minWidth;
    setMinimumSize(0, 0);
    setFixedSize(clientWidth, clientHeight);

    // 4. The multimeter panel loses the instrument strip and is centred in its page.
    LayoutNow();
    QWidget *sheet = ui.MultimeterLMDTabSheet;
    QWidget *panel = ui.MultimeterLMDSimplePanel;
    int panelHeight = panel->height() - equipmentHeight;
    if (panelHeight > sheet->height())
        panelHeight = sheet->height() - 10;
    const auto centrePanel = [&](int width) {
        panel->setGeometry(WindowGeometry::CentredOffset(sheet->width(), width),
                           WindowGeometry::CentredOffset(sheet->height(), panelHeight) + 1, width, panelHeight);
    };
    centrePanel(panel->width());

    // 5. Hidden indicators; the common-parameter row stays centred without them.
    for (QWidget *hidden : std::initializer_list<QWidget *>{ui.Bevel3, ui.GeneratorStatusLed, ui.VoltmeterStatusLed,
                                                            ui.AcquisitionTimeLMDSimplePanel,
                                                            ui.ComputationInfoLMDSimplePanel})
        hidden->hide();
    const int shift = (ui.AcquisitionTimeLMDSimplePanel->width() + ui.ComputationInfoLMDSimplePanel->width()) / 2;
    ui.ChannelCommonParsLMDSimplePanel->move(ui.ChannelCommonParsLMDSimplePanel->pos() + QPoint(shift, 0));
    ui.CommonParsLMDSimplePanel->move(ui.CommonParsLMDSimplePanel->pos() + QPoint(shift, 0));

    // 6. The instrument strip and the other pages' tabs stay hidden for the whole run.
    for (QWidget *hidden : std::initializer_list<QWidget *>{ui.EquipmentLMDSimplePanel, ui.GeneratorLMDGroupBox,
                                                            ui.VoltmeterLMDGroupBox})
        hidden->hide();
    ui.MainLMDPageControl->setTabVisible(ui.MainLMDPageControl->indexOf(ui.CorrectionFactorsLMDTabSheet), false);
    ui.MainLMDPageControl->setTabVisible(ui.MainLMDPageControl->indexOf(ui.VerificationLMDTabSheet), false);

    // 7. Room for the channel area's scroll bar when the panels no longer fit.
    LayoutNow();
    if (ChannelAreaNeedsScrollBar()
        && WindowGeometry::NeedsRoomForScrollBar(minimumWidth(), panel->width(), metrics)) {
        clientWidth = minWidth + metrics.scrollBarWidth;
        setFixedSize(clientWidth, clientHeight);
        LayoutNow();
        centrePanel(panel->width() + metrics.scrollBarWidth);
        LayoutNow();
    }
    // A wheel notch over the channel area moves it by a third of a channel row.
    ui.AdcIndividualParsLMDScrollBox->verticalScrollBar()->setSingleStep(22);

    // The window is placed at the centre of the screen.
    const QRect work = WorkArea();
    move(work.x() + WindowGeometry::CentredOffset(work.width(), width()),
         work.y() + WindowGeometry::CentredOffset(work.height(), height()));

    // 8. Qt draws no three-dimensional captions, so the version class changes nothing here.
    OsVersionCode = WindowGeometry::CurrentOsVersionCode();
}
