#include "nmea/module1.h"

#include "app/form1.h"
#include "nmea/decoders.h"
#include "nmea/sentence.h"
#include "nmea/sentencetypes.h"

Module1::Module1(Form1 &form)
    : m_form(form) {}

std::optional<QStringList> Module1::ReadSentence(QStringView tag, int minimumFields) const {
    return acceptSentence(m_form.Text1().firstSentence(tag), minimumFields,
                          m_form.checksumTestOn());
}

void Module1::DecodeGGA() {
    const auto fields = ReadSentence(kGga.tag, kGga.minimumFields);
    if (!fields)
        return;
    // Latitude before longitude, time last: each write's change handler sees the fields
    // written before it, and the local time sees this tick's date.
    const GgaTexts texts = ggaTexts(*fields);
    m_form.Label23()->write(texts.altitude);
    m_form.Label21()->write(texts.latitude);
    m_form.Label22()->write(texts.longitude);
    m_form.Label20()->write(texts.time);
}

void Module1::DecodeGSA() {
    for (DisplayField *slot : m_form.Label12())
        slot->write(QString());
    m_form.Label13()->write(QString());
    const auto fields = ReadSentence(kGsa.tag, kGsa.minimumFields);
    if (!fields)
        return;
    const GsaTexts texts = gsaTexts(*fields);
    for (int k = 0; k < 12; ++k)
        m_form.Label12()[k]->write(texts.prn[k]);
    m_form.Label13()->write(texts.pdop);
}

void Module1::DecodeRMC() {
    m_form.Label25()->write(QString());
    m_form.Label26()->write(QString());
    const auto fields = ReadSentence(kRmc.tag, kRmc.minimumFields);
    if (!fields)
        return;
    const RmcTexts texts = rmcTexts(*fields);
    m_form.Label25()->write(texts.course);
    m_form.Label26()->write(texts.speed);
    m_form.Label19()->write(texts.date);
}

void Module1::ResetDisplay() {
    // The date goes before the time, so the local-time handler finds both empty and stays quiet.
    for (DisplayField *field :
         {m_form.Label19(), m_form.Label20(), m_form.Label24(), m_form.Label25(), m_form.Label26(),
          m_form.Label21(), m_form.Label22(), m_form.Label23(), m_form.Label13()})
        field->write(QString());
    for (DisplayField *slot : m_form.Label12())
        slot->write(QString());
}

void Module1::ListSentenceTypes() {
    m_form.setSentenceTypes(sentenceTypeList(m_form.Text1().text()));
}
