// The views of the fourteen pages: the output location controls of the base
// view and, below them, each page's own controls.

#include "settings/SettingsPages.h"
#include "settings/pages/PageText.h"
#include "settings/pages/PageWidget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <span>

namespace tessel::pages {

namespace {

// A group of radios whose ids are the page's values 0, 1, 2, ...
QButtonGroup* AddRadios(QWidget* owner, QBoxLayout* layout, std::initializer_list<const char*> texts) {
    auto* group = new QButtonGroup(owner);
    int id = 0;
    for (const char* t : texts) {
        auto* r = new QRadioButton(QString::fromUtf8(t));
        layout->addWidget(r);
        group->addButton(r, id++);
    }
    return group;
}

void CheckRadio(QButtonGroup* group, int id) {
    if (QAbstractButton* b = group->button(id)) {
        b->setChecked(true);
    } else {
        // A value the radios do not offer: none chosen.
        group->setExclusive(false);
        for (QAbstractButton* other : group->buttons())
            other->setChecked(false);
        group->setExclusive(true);
    }
}

QComboBox* UnitCombo(std::span<const char* const> units) {
    auto* combo = new QComboBox;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const char* u : units)
        combo->addItem(ToQt(u));
    combo->setMinimumContentsLength(10);
    return combo;
}

void ShowText(QComboBox* combo, const CString& s) {
    QString t = ToQt(s);
    if (combo->currentText() != t)
        combo->setCurrentText(t);
}

void ShowText(QLineEdit* edit, const CString& s) {
    QString t = ToQt(s);
    if (edit->text() != t)
        edit->setText(t);
}

// A page whose only controls are those of the output location.
class CPlainPageWidget : public CPageWidget {
public:
    CPlainPageWidget(CppgSettings& page, QWidget* parent) : CPageWidget(page, parent) {}
};

class CCheckPageWidget : public CPageWidget {
public:
    CCheckPageWidget(CppgSettingsWithCheck& page, QWidget* parent) : CPageWidget(page, parent), m_p(page) {
        m_check = new QCheckBox(QString::fromUtf8(page.GetCheckText()));
        m_check->setObjectName("option");
        SetHelpID(m_check, IDC_OPTION_CHECK);
        Body()->addWidget(m_check);
        connect(m_check, &QCheckBox::toggled, this, [this](bool on) {
            if (m_bRefreshing)
                return;
            m_p.m_bCheck = on ? 1 : 0;
            Changed();
        });
    }

protected:
    void RefreshOwn() override { m_check->setChecked(m_p.m_bCheck != 0); }

private:
    CppgSettingsWithCheck& m_p;
    QCheckBox* m_check;
};

class CTEACPageWidget : public CPageWidget {
public:
    CTEACPageWidget(CppgSettingsTEACImport& page, QWidget* parent) : CPageWidget(page, parent), m_p(page) {
        auto* label = new QLabel(tr("Name of the associated SET file:"));
        m_name = new QLineEdit;
        m_name->setObjectName("setFile");
        label->setBuddy(m_name);
        SetHelpID(m_name, IDC_SET_FILE);
        Body()->addWidget(label);
        Body()->addWidget(m_name);
        connect(m_name, &QLineEdit::textEdited, this, [this](const QString& t) {
            m_p.m_sSETFile = FromQt(t);
            Changed();
        });
    }

protected:
    void RefreshOwn() override { ShowText(m_name, m_p.m_sSETFile); }

private:
    CppgSettingsTEACImport& m_p;
    QLineEdit* m_name;
};

class CASCExportPageWidget : public CPageWidget {
public:
    CASCExportPageWidget(CppgSettingsASCExport& page, QWidget* parent) : CPageWidget(page, parent), m_p(page) {
        auto* row = new QHBoxLayout;
        auto* notationBox = new QGroupBox(tr("Number notation"));
        auto* notationLayout = new QVBoxLayout(notationBox);
        m_notation = AddRadios(this, notationLayout, {"automatic", "fixed", "scientific"});
        auto* digitsRow = new QHBoxLayout;
        auto* digitsLabel = new QLabel(tr("Number of digits:"));
        m_digits = new QLineEdit;
        m_digits->setObjectName("digits");
        m_digits->setMaximumWidth(60);
        digitsLabel->setBuddy(m_digits);
        digitsRow->addWidget(digitsLabel);
        digitsRow->addWidget(m_digits);
        digitsRow->addStretch(1);
        notationLayout->addLayout(digitsRow);

        auto* right = new QVBoxLayout;
        auto* separatorBox = new QGroupBox(tr("Separator"));
        m_separator = AddRadios(this, new QHBoxLayout(separatorBox), {"Space", "Tab"});
        auto* decimalBox = new QGroupBox(tr("Decimal point"));
        m_decimal = AddRadios(this, new QHBoxLayout(decimalBox), {"Point", "Comma"});
        right->addWidget(separatorBox);
        right->addWidget(decimalBox);
        row->addWidget(notationBox, 1);
        row->addLayout(right, 1);
        Body()->addLayout(row);

        auto* complexRow = new QHBoxLayout;
        auto* complexLabel = new QLabel(tr("Complex Notation:"));
        m_complex = new QComboBox;
        m_complex->setObjectName("complex");
        for (const char* t : CppgSettingsASCExport::ComplexNotationList())
            m_complex->addItem(ToQt(t));
        complexLabel->setBuddy(m_complex);
        complexRow->addWidget(complexLabel);
        complexRow->addWidget(m_complex, 1);
        Body()->addLayout(complexRow);
        m_toDB = new QCheckBox(tr("Convert channel data to dB"));
        m_toDB->setObjectName("toDB");
        Body()->addWidget(m_toDB);

        for (QAbstractButton* b : m_notation->buttons())
            SetHelpID(b, IDC_NOTATION);
        for (QAbstractButton* b : m_separator->buttons())
            SetHelpID(b, IDC_SEPARATOR);
        for (QAbstractButton* b : m_decimal->buttons())
            SetHelpID(b, IDC_DECIMAL);
        SetHelpID(m_digits, IDC_DIGITS);
        SetHelpID(m_complex, IDC_COMPLEX);
        SetHelpID(m_toDB, IDC_TO_DB);

        connect(m_notation, &QButtonGroup::idClicked, this, [this](int id) {
            m_p.m_iNotation = id;
            Changed();
        });
        connect(m_digits, &QLineEdit::textEdited, this, [this](const QString& t) {
            m_p.m_digits.sText = FromQt(t);
            Changed();
        });
        connect(m_separator, &QButtonGroup::idClicked, this, [this](int id) {
            m_p.m_iSeparator = id;
            Changed();
        });
        connect(m_decimal, &QButtonGroup::idClicked, this, [this](int id) {
            m_p.m_iDecimal = id;
            Changed();
        });
        connect(m_complex, &QComboBox::currentIndexChanged, this, [this](int i) {
            if (m_bRefreshing || i < 0)
                return;
            m_p.m_iComplex = i;
            Changed();
        });
        connect(m_toDB, &QCheckBox::toggled, this, [this](bool on) {
            if (m_bRefreshing)
                return;
            m_p.m_bConvert2dB = on ? 1 : 0;
            Changed();
        });
    }

protected:
    void RefreshOwn() override {
        CheckRadio(m_notation, m_p.m_iNotation);
        ShowText(m_digits, m_p.m_digits.sText);
        CheckRadio(m_separator, m_p.m_iSeparator);
        CheckRadio(m_decimal, m_p.m_iDecimal);
        m_complex->setCurrentIndex(m_p.m_iComplex);
        m_toDB->setChecked(m_p.m_bConvert2dB != 0);
    }

private:
    CppgSettingsASCExport& m_p;
    QButtonGroup* m_notation;
    QLineEdit* m_digits;
    QButtonGroup* m_separator;
    QButtonGroup* m_decimal;
    QComboBox* m_complex;
    QCheckBox* m_toDB;
};

class CWAVExportPageWidget : public CPageWidget {
public:
    CWAVExportPageWidget(CppgSettingsWAVExport& page, QWidget* parent) : CPageWidget(page, parent), m_p(page) {
        auto* box = new QGroupBox(tr("Float data to integer"));
        auto* grid = new QGridLayout(box);
        m_conversion = new QButtonGroup(this);
        const char* texts[] = {"..., autoscale to full dynamic range", "...  1:1 (original calibration)",
                               "..., scale to:"};
        for (int i = 0; i < 3; ++i) {
            auto* r = new QRadioButton(QString::fromUtf8(texts[i]));
            m_conversion->addButton(r, i);
            grid->addWidget(r, i, 0);
            SetHelpID(r, IDC_CONVERSION);
        }
        m_calibration = new QComboBox;
        m_calibration->setObjectName("calibration");
        for (const auto& c : CppgSettingsWAVExport::CalibrationList())
            m_calibration->addItem(ToQt(c.pszText));
        SetHelpID(m_calibration, IDC_CALIBRATION_LIST);
        grid->addWidget(m_calibration, 2, 1);
        grid->setColumnStretch(2, 1);
        Body()->addWidget(box);
        m_24Bit = new QCheckBox(tr("Use 24 bit resolution"));
        m_24Bit->setObjectName("24bit");
        m_pulse = new QCheckBox(tr("Include pulse channels"));
        m_pulse->setObjectName("pulse");
        SetHelpID(m_24Bit, IDC_24BIT);
        SetHelpID(m_pulse, IDC_PULSE);
        Body()->addWidget(m_24Bit);
        Body()->addWidget(m_pulse);

        connect(m_conversion, &QButtonGroup::idClicked, this, [this](int id) {
            m_p.m_iConversion = id;
            m_calibration->setEnabled(id == 2);
            Changed();
        });
        connect(m_calibration, &QComboBox::currentIndexChanged, this, [this](int i) {
            if (m_bRefreshing || i < 0)
                return;
            m_p.m_iCalibration = i;
            Changed();
        });
        connect(m_24Bit, &QCheckBox::toggled, this, [this](bool on) {
            if (m_bRefreshing)
                return;
            m_p.m_b24Bit = on ? 1 : 0;
            Changed();
        });
        connect(m_pulse, &QCheckBox::toggled, this, [this](bool on) {
            if (m_bRefreshing)
                return;
            m_p.m_bIncludePulse = on ? 1 : 0;
            Changed();
        });
    }

protected:
    void RefreshOwn() override {
        CheckRadio(m_conversion, m_p.m_iConversion);
        m_calibration->setCurrentIndex(m_p.m_iCalibration);
        // The level only counts when scaling to it.
        m_calibration->setEnabled(m_p.m_iConversion == 2);
        m_24Bit->setChecked(m_p.m_b24Bit != 0);
        m_pulse->setChecked(m_p.m_bIncludePulse != 0);
    }

private:
    CppgSettingsWAVExport& m_p;
    QButtonGroup* m_conversion;
    QComboBox* m_calibration;
    QCheckBox* m_24Bit;
    QCheckBox* m_pulse;
};

class CWAVImportPageWidget : public CPageWidget {
public:
    CWAVImportPageWidget(CppgSettingsWAVImport& page, QWidget* parent) : CPageWidget(page, parent), m_p(page) {
        auto* box = new QGroupBox(tr("Scaling"));
        auto* layout = new QVBoxLayout(box);
        auto* radios = new QHBoxLayout;
        m_scaling = AddRadios(this, radios, {"Pascal", "Other"});
        radios->addStretch(1);
        layout->addLayout(radios);
        auto* form = new QFormLayout;
        m_calibration = new QLineEdit;
        m_calibration->setObjectName("calibration");
        m_inputRange = new QLineEdit;
        m_inputRange->setObjectName("inputRange");
        form->addRow(tr("Calibration (dB):"), m_calibration);
        form->addRow(tr("Input range (r.m.s.):"), m_inputRange);
        auto* unitRow = new QHBoxLayout;
        m_unit = UnitCombo(SignalUnitList());
        m_unit->setObjectName("unit");
        m_quantity = new QLabel;
        m_quantity->setObjectName("quantity");
        m_quantity->setMinimumWidth(m_quantity->fontMetrics().horizontalAdvance(QStringLiteral("acceleration")));
        unitRow->addWidget(m_unit);
        unitRow->addWidget(m_quantity, 1);
        form->addRow(tr("Unit:"), unitRow);
        layout->addLayout(form);
        Body()->addWidget(box);

        for (QAbstractButton* b : m_scaling->buttons())
            SetHelpID(b, IDC_SCALING);
        SetHelpID(m_calibration, IDC_CALIBRATION);
        SetHelpID(m_inputRange, IDC_INPUT_RANGE);
        SetHelpID(m_unit, IDC_UNIT);

        connect(m_scaling, &QButtonGroup::idClicked, this, [this](int id) {
            m_p.m_iScaling = id;
            Changed();
        });
        connect(m_calibration, &QLineEdit::textEdited, this, [this](const QString& t) {
            m_p.m_calibration.sText = FromQt(t);
            Changed();
        });
        connect(m_inputRange, &QLineEdit::textEdited, this, [this](const QString& t) {
            m_p.m_inputRange.sText = FromQt(t);
            Changed();
        });
        connect(m_unit, &QComboBox::currentTextChanged, this, [this](const QString& t) {
            if (m_bRefreshing)
                return;
            m_p.m_sUnit = FromQt(t);
            m_quantity->setText(ToQt(m_p.GetQuantityText()));
            Changed();
        });
    }

protected:
    void RefreshOwn() override {
        CheckRadio(m_scaling, m_p.m_iScaling);
        ShowText(m_calibration, m_p.m_calibration.sText);
        ShowText(m_inputRange, m_p.m_inputRange.sText);
        ShowText(m_unit, m_p.m_sUnit);
        m_quantity->setText(ToQt(m_p.GetQuantityText()));
    }

private:
    CppgSettingsWAVImport& m_p;
    QButtonGroup* m_scaling;
    QLineEdit* m_calibration;
    QLineEdit* m_inputRange;
    QComboBox* m_unit;
    QLabel* m_quantity;
};

class CASCImportPageWidget : public CPageWidget {
public:
    CASCImportPageWidget(CppgSettingsASCImport& page, QWidget* parent) : CPageWidget(page, parent), m_p(page) {
        auto* row = new QHBoxLayout;

        auto* abscissa = new QGroupBox(tr("Abscissa"));
        auto* abscLayout = new QVBoxLayout(abscissa);
        auto* radios = new QHBoxLayout;
        m_provided = new QButtonGroup(this);
        auto* provided = new QRadioButton(tr("Provided (first column)"));
        auto* calculate = new QRadioButton(tr("Calculate"));
        m_provided->addButton(provided, 1);
        m_provided->addButton(calculate, 0);
        radios->addWidget(provided);
        radios->addWidget(calculate);
        radios->addStretch(1);
        abscLayout->addLayout(radios);
        auto* abscGrid = new QGridLayout;
        m_abscUnit = UnitCombo(AbscissaUnitList());
        m_abscUnit->setObjectName("abscissaUnit");
        m_abscQuantity = new QLabel;
        m_abscQuantity->setObjectName("abscissaQuantity");
        m_stepLabel = new QLabel;
        m_stepLabel->setObjectName("stepLabel");
        m_stepLabel->setMinimumWidth(m_stepLabel->fontMetrics().horizontalAdvance(QStringLiteral("Sample rate:  ")));
        m_step = new QLineEdit;
        m_step->setObjectName("step");
        m_stepLabel->setBuddy(m_step);
        auto* unitLabel = new QLabel(tr("Unit:"));
        unitLabel->setBuddy(m_abscUnit);
        abscGrid->addWidget(unitLabel, 0, 0);
        abscGrid->addWidget(m_abscUnit, 0, 1);
        abscGrid->addWidget(m_abscQuantity, 0, 2);
        abscGrid->addWidget(m_stepLabel, 1, 0);
        abscGrid->addWidget(m_step, 1, 1);
        abscGrid->setColumnStretch(2, 1);
        abscLayout->addLayout(abscGrid);

        auto* format = new QGroupBox(tr("Store data at TRX file using:"));
        auto* formatLayout = new QVBoxLayout(format);
        m_implType = AddRadios(this, formatLayout, {"Integer 16 bit", "Integer 24 bit", "Float 32 bit"});
        row->addWidget(abscissa, 3);
        row->addWidget(format, 2);
        Body()->addLayout(row);

        auto* channels = new QGroupBox(tr("Channels"));
        auto* chGrid = new QGridLayout(channels);
        m_channel = new QSpinBox;
        m_channel->setObjectName("channel");
        // Wider than 1..256, so that a number typed outside is taken back to
        // the nearest bound rather than refused.
        m_channel->setRange(-9999, 99999);
        m_channel->setKeyboardTracking(false);
        m_name = new QLineEdit;
        m_name->setObjectName("channelName");
        m_chUnit = UnitCombo(ChannelUnitList());
        m_chUnit->setObjectName("channelUnit");
        m_chQuantity = new QLabel;
        m_chQuantity->setObjectName("channelQuantity");
        auto* chLabel = new QLabel(tr("Channel:"));
        chLabel->setBuddy(m_channel);
        auto* nameLabel = new QLabel(tr("Name:"));
        nameLabel->setBuddy(m_name);
        auto* chUnitLabel = new QLabel(tr("Unit:"));
        chUnitLabel->setBuddy(m_chUnit);
        chGrid->addWidget(chLabel, 0, 0);
        chGrid->addWidget(m_channel, 0, 1);
        chGrid->addWidget(nameLabel, 0, 2);
        chGrid->addWidget(m_name, 0, 3, 1, 2);
        chGrid->addWidget(chUnitLabel, 1, 2);
        chGrid->addWidget(m_chUnit, 1, 3);
        chGrid->addWidget(m_chQuantity, 1, 4);
        chGrid->setColumnStretch(4, 1);
        Body()->addWidget(channels);

        for (QAbstractButton* b : m_provided->buttons())
            SetHelpID(b, IDC_ABSCISSA);
        for (QAbstractButton* b : m_implType->buttons())
            SetHelpID(b, IDC_IMPL_TYPE);
        SetHelpID(m_abscUnit, IDC_ABSC_UNIT);
        SetHelpID(m_step, IDC_STEP);
        SetHelpID(m_channel, IDC_CHANNEL);
        SetHelpID(m_name, IDC_CHANNEL_NAME);
        SetHelpID(m_chUnit, IDC_CHANNEL_UNIT);

        // Tab order: abscissa, sample format, then the channel controls.
        setTabOrder(provided, calculate);
        setTabOrder(calculate, m_abscUnit);
        setTabOrder(m_abscUnit, m_step);
        setTabOrder(m_step, m_implType->button(0));
        setTabOrder(m_implType->button(0), m_implType->button(1));
        setTabOrder(m_implType->button(1), m_implType->button(2));
        setTabOrder(m_implType->button(2), m_channel);
        setTabOrder(m_channel, m_name);
        setTabOrder(m_name, m_chUnit);

        connect(m_provided, &QButtonGroup::idClicked, this, [this](int id) {
            m_p.m_bAbscProvided = id;
            Changed();
        });
        connect(m_abscUnit, &QComboBox::currentTextChanged, this, [this](const QString& t) {
            if (m_bRefreshing)
                return;
            m_p.SetAbscissaUnit(FromQt(t));
            Changed();
            Refresh();
        });
        connect(m_step, &QLineEdit::textEdited, this, [this](const QString& t) {
            m_p.m_step.sText = FromQt(t);
            Changed();
        });
        connect(m_channel, &QSpinBox::valueChanged, this, [this](int n) {
            if (m_bRefreshing)
                return;
            m_p.SetChannel(n);
            Refresh();
        });
        connect(m_name, &QLineEdit::textEdited, this, [this](const QString& t) {
            m_p.m_sChName = FromQt(t);
            Changed();
        });
        connect(m_chUnit, &QComboBox::currentTextChanged, this, [this](const QString& t) {
            if (m_bRefreshing)
                return;
            m_p.m_sChUnit = FromQt(t);
            m_chQuantity->setText(ToQt(m_p.GetChQuantityText()));
            Changed();
        });
        connect(m_implType, &QButtonGroup::idClicked, this, [this](int id) {
            m_p.m_iImplType = id;
            Changed();
        });
    }

protected:
    void RefreshOwn() override {
        CheckRadio(m_provided, m_p.m_bAbscProvided);
        ShowText(m_abscUnit, m_p.m_sAbscUnit);
        m_abscQuantity->setText(ToQt(m_p.GetAbscQuantityText()));
        m_stepLabel->setText(QString::fromUtf8(m_p.GetStepLabel()));
        ShowText(m_step, m_p.m_step.sText);
        m_channel->setValue(m_p.m_iChannel);
        ShowText(m_name, m_p.m_sChName);
        ShowText(m_chUnit, m_p.m_sChUnit);
        m_chQuantity->setText(ToQt(m_p.GetChQuantityText()));
        CheckRadio(m_implType, m_p.m_iImplType);
    }

private:
    CppgSettingsASCImport& m_p;
    QButtonGroup* m_provided;
    QComboBox* m_abscUnit;
    QLabel* m_abscQuantity;
    QLabel* m_stepLabel;
    QLineEdit* m_step;
    QSpinBox* m_channel;
    QLineEdit* m_name;
    QComboBox* m_chUnit;
    QLabel* m_chQuantity;
    QButtonGroup* m_implType;
};

}  // namespace

CPageWidget* CreatePageWidget(CPropertyPage* page, QWidget* parent) {
    auto* p = dynamic_cast<CppgSettings*>(page);
    if (!p)
        return nullptr;
    CPageWidget* w = nullptr;
    if (auto* asc = dynamic_cast<CppgSettingsASCImport*>(p))
        w = new CASCImportPageWidget(*asc, parent);
    else if (auto* ascx = dynamic_cast<CppgSettingsASCExport*>(p))
        w = new CASCExportPageWidget(*ascx, parent);
    else if (auto* wav = dynamic_cast<CppgSettingsWAVImport*>(p))
        w = new CWAVImportPageWidget(*wav, parent);
    else if (auto* wavx = dynamic_cast<CppgSettingsWAVExport*>(p))
        w = new CWAVExportPageWidget(*wavx, parent);
    else if (auto* teac = dynamic_cast<CppgSettingsTEACImport*>(p))
        w = new CTEACPageWidget(*teac, parent);
    else if (auto* check = dynamic_cast<CppgSettingsWithCheck*>(p))
        w = new CCheckPageWidget(*check, parent);
    else
        w = new CPlainPageWidget(*p, parent);
    w->Refresh();
    return w;
}

}  // namespace tessel::pages
