#include "logic/module1.h"

#include "logic/decoders.h"
#include "logic/displaymodel.h"
#include "logic/receivelog.h"
#include "logic/sentence.h"

Module1::Module1(DisplayModel &model, ReceiveLog &log, std::function<bool()> checksumTest)
    : m_model(model)
    , m_log(log)
    , m_checksumTest(std::move(checksumTest)) {}

std::optional<QStringList> Module1::ReadSentence(QStringView tag, int minimumFields) const {
    return acceptSentence(m_log.firstSentence(tag), minimumFields, m_checksumTest());
}

void Module1::DecodeGGA() {
    const auto fields = ReadSentence(kGga.tag, kGga.minimumFields);
    if (!fields)
        return;
    // Latitude before longitude, time last: each write's change handler sees the fields
    // written before it, and the local time sees this tick's date.
    const GgaTexts texts = textsFromGga(*fields);
    m_model.altitude.write(texts.altitude);
    m_model.latitude.write(texts.latitude);
    m_model.longitude.write(texts.longitude);
    m_model.utcTime.write(texts.time);
}

void Module1::DecodeGSA() {
    for (DisplayField &slot : m_model.satellites)
        slot.write(QString());
    m_model.pdop.write(QString());
    const auto fields = ReadSentence(kGsa.tag, kGsa.minimumFields);
    if (!fields)
        return;
    const GsaTexts texts = textsFromGsa(*fields);
    for (int k = 0; k < 12; ++k)
        m_model.satellites[k].write(texts.prn[k]);
    m_model.pdop.write(texts.pdop);
}

void Module1::DecodeRMC() {
    m_model.course.write(QString());
    m_model.speed.write(QString());
    const auto fields = ReadSentence(kRmc.tag, kRmc.minimumFields);
    if (!fields)
        return;
    const RmcTexts texts = textsFromRmc(*fields);
    m_model.course.write(texts.course);
    m_model.speed.write(texts.speed);
    // Before the date: its change handler pairs it with the time by this.
    m_dateSentAt = fields->at(1);
    m_model.utcDate.write(texts.date);
}

void Module1::ResetDisplay() {
    m_dateSentAt.clear();
    // The date goes before the time, so the local-time handler finds both empty and stays quiet.
    for (DisplayField *field :
         {&m_model.utcDate, &m_model.utcTime, &m_model.localDateTime, &m_model.course,
          &m_model.speed, &m_model.latitude, &m_model.longitude, &m_model.altitude, &m_model.pdop})
        field->write(QString());
    for (DisplayField &slot : m_model.satellites)
        slot.write(QString());
}

void Module1::ListSentenceTypes() {
    m_model.setSentenceTypes(m_log.sentenceTypes());
}
