#include "ui/qt/dialogs/sound_device_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "media/melody_player.h"

namespace vorpel {

namespace {

constexpr int POLL_MS = 100;
constexpr double METER_FLOOR_DB = -60.0;  // the meter's left end
constexpr uint8_t REST = 30;
constexpr uint8_t AGAIN = 31;

constexpr uint8_t note(uint8_t row, uint8_t duration) { return static_cast<uint8_t>(row | duration << 5); }

// A trill of two tones a major third apart, then quiet: a phone ringing.
constexpr std::array<uint8_t, MELODY_NOTES> ringMelody() {
    std::array<uint8_t, MELODY_NOTES> notes{};
    notes.fill(AGAIN);
    for (size_t i = 0; i < 8; ++i) notes[i] = note(i % 2 == 0 ? 12 : 16, 1);
    notes[8] = note(REST, 7);
    return notes;
}

QString text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QComboBox* deviceList(const std::vector<std::string>& names, const std::string& chosen,
                      const char* objectName, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(objectName));
    for (size_t i = 0; i < names.size(); ++i)
        list->addItem(i == 0 && !names[i].starts_with("default")
                          ? QStringLiteral("%1 (default)").arg(text(names[i]))
                          : text(names[i]));
    const auto found = std::find(names.begin(), names.end(), chosen);
    list->setCurrentIndex(chosen.empty() || found == names.end() ? 0
                                                                 : static_cast<int>(found - names.begin()));
    return list;
}

// 0 for silence, 100 at full scale, the decibels between evenly.
int meterValue(int peak) {
    if (peak <= 0) return 0;
    const double db = 20.0 * std::log10(peak / 32767.0);
    return std::clamp(static_cast<int>(std::lround((db - METER_FLOOR_DB) * 100.0 / -METER_FLOOR_DB)), 0, 100);
}

}  // namespace

void SoundDeviceDialog::MeterListener::waveCompleted(WaveHeader& header) {
    int blockPeak = 0;
    for (size_t i = 0; i < header.length; ++i) blockPeak = std::max(blockPeak, std::abs(int{header.data[i]}));
    int seen = peak.load(std::memory_order_relaxed);
    while (seen < blockPeak && !peak.compare_exchange_weak(seen, blockPeak, std::memory_order_relaxed)) {
    }
    free[header.user].store(true, std::memory_order_release);
}

SoundDeviceDialog::SoundDeviceDialog(Devices devices, const std::string& chosenCapture,
                                     const std::string& chosenPlayback, QWidget* parent)
    : QDialog(parent), devices_(std::move(devices)) {
    setWindowTitle(QString::fromLatin1(SOUND_DEVICES_TITLE));
    captureList_ = deviceList(devices_.capture, chosenCapture, "capture", this);
    playbackList_ = deviceList(devices_.playback, chosenPlayback, "playback", this);
    auto* test = new QPushButton(QStringLiteral("Test"), this);
    test->setObjectName(QStringLiteral("test"));
    meter_ = new QProgressBar(this);
    meter_->setObjectName(QStringLiteral("level"));
    meter_->setRange(0, 100);
    meter_->setTextVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));

    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Microphone:"), captureList_);
    layout->addRow(QStringLiteral("Level:"), meter_);
    layout->addRow(QStringLiteral("Speaker:"), playbackList_);
    layout->addRow(QString(), test);
    auto* note = new QLabel(QStringLiteral("A new choice takes effect from the next call."), this);
    note->setWordWrap(true);
    layout->addRow(note);
    layout->addRow(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(test, &QPushButton::clicked, this, [this] { playTest(); });
    connect(captureList_, &QComboBox::currentIndexChanged, this, [this] { openMeter(); });
    connect(playbackList_, &QComboBox::currentIndexChanged, this, [this] { closeTest(); });
    connect(this, &QDialog::finished, this, [this] {
        closeMeter();
        closeTest();
    });

    MelodyPlayer melody;
    constexpr auto notes = ringMelody();
    melody.startMelody(0, notes);
    testSamples_.resize(TEST_BLOCKS * WAVE_BUFFER_SAMPLES);
    for (int16_t& sample : testSamples_) sample = melody.nextMelodySample();

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_->start(POLL_MS);
    openMeter();
}

SoundDeviceDialog::~SoundDeviceDialog() {
    closeMeter();
    closeTest();
}

std::string SoundDeviceDialog::chosen(const QComboBox* list, const std::vector<std::string>& names) const {
    const int row = list->currentIndex();
    return row <= 0 || static_cast<size_t>(row) >= names.size() ? std::string()
                                                                : names[static_cast<size_t>(row)];
}

std::string SoundDeviceDialog::capture() const { return chosen(captureList_, devices_.capture); }
std::string SoundDeviceDialog::playback() const { return chosen(playbackList_, devices_.playback); }
int SoundDeviceDialog::level() const { return meter_->value(); }

void SoundDeviceDialog::openMeter() {
    closeMeter();
    if (!devices_.openCapture || devices_.capture.empty()) return;
    meterDevice_ = devices_.openCapture(capture());
    if (!meterDevice_ || !meterDevice_->open(WaveFormat{}, meterListener_)) {
        meterDevice_.reset();
        return;
    }
    for (uint32_t i = 0; i < METER_BLOCKS; ++i) {
        meterHeaders_[i] = WaveHeader{meterBlocks_[i].data(), METER_BLOCK_SAMPLES, i, 0};
        if (meterDevice_->prepareHeader(meterHeaders_[i])) meterDevice_->addBuffer(meterHeaders_[i]);
    }
    meterDevice_->start();
}

void SoundDeviceDialog::closeMeter() {
    if (meterDevice_) {
        meterDevice_->reset();  // no completion runs after this
        for (WaveHeader& header : meterHeaders_) meterDevice_->unprepareHeader(header);
        meterDevice_->close();
        meterDevice_.reset();
    }
    for (auto& free : meterListener_.free) free.store(false);
    meterListener_.peak.store(0);
    if (meter_ != nullptr) meter_->setValue(0);
}

bool SoundDeviceDialog::playTest() {
    closeTest();
    if (!devices_.openPlayback || devices_.playback.empty()) return false;
    testDevice_ = devices_.openPlayback(playback());
    if (!testDevice_ || !testDevice_->open(WaveFormat{}, testListener_)) {
        testDevice_.reset();
        return false;
    }
    for (uint32_t i = 0; i < TEST_BLOCKS; ++i) {
        testHeaders_[i] =
            WaveHeader{testSamples_.data() + i * WAVE_BUFFER_SAMPLES, WAVE_BUFFER_SAMPLES, i, 0};
        if (testDevice_->prepareHeader(testHeaders_[i])) testDevice_->write(testHeaders_[i]);
    }
    return true;
}

void SoundDeviceDialog::closeTest() {
    if (testDevice_) {
        testDevice_->reset();
        for (WaveHeader& header : testHeaders_) testDevice_->unprepareHeader(header);
        testDevice_->close();
        testDevice_.reset();
    }
    testListener_.played.store(0);
}

void SoundDeviceDialog::poll() {
    if (meterDevice_) {
        for (uint32_t i = 0; i < METER_BLOCKS; ++i) {
            if (meterListener_.free[i].exchange(false, std::memory_order_acquire))
                meterDevice_->addBuffer(meterHeaders_[i]);
        }
        meter_->setValue(meterValue(meterListener_.peak.exchange(0, std::memory_order_relaxed)));
    }
    if (testDevice_ && testListener_.played.load(std::memory_order_relaxed) == TEST_BLOCKS) closeTest();
}

}  // namespace vorpel
