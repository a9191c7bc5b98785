// German texts of the module (Windows-1252 bytes, as the host shows them).
// Ids not listed here fall back to the module's own texts.

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    unsigned id;
    const char* text;
};

constexpr Entry kTexts[] = {
    {1, "Tessel Einstellungen"},
    {2, "Konvertierung erfolgreich abgeschlossen."},
    {3, "Konvertierung fehlgeschlagen."},
    {4, "Der Thread-Manager f\xFCr die Formatkonvertierung ist fehlgeschlagen."},
    {5, "Diese Konvertierung ist noch nicht verf\xFCgbar."},
    {6, "Speicheranforderung fehlgeschlagen. Keine Pufferung der Daten m\xF6glich."},
    {7, "Es gibt keine Kan\xE4le, die importiert werden k\xF6nnten."},
    {8, "Die Ausgabedatei existiert bereits und darf nicht \xFC" "berschrieben werden. (Das \xDC" "berschreiben kann in den Einstellungen erlaubt werden.)"},
    {9, "Zugriff auf %s verweigert!\nDie Datei ist m\xF6glicherweise von einem anderen Prozess ge\xF6" "ffnet."},
    {10, "Die Datei \"%s\" konnte nicht ge\xF6" "ffnet werden."},
    {11, "Schreiben in die Datei %s fehlgeschlagen. Der Datentr\xE4ger ist m\xF6glicherweise voll!"},
    {12, "Die Anzahl der in die Ausgabedatei geschriebenen Bytes entspricht nicht der erwarteten Anzahl (Kopfinformation)."},
    {13, "Das Verzeichnis f\xFCr die Ausgabedateien \"%s\" konnte nicht angelegt werden."},
    {14, "Lesen der Daten aus der Eingabedatei %s fehlgeschlagen."},
    {15, "Der TRX-Datensatz konnte nicht angelegt werden."},
    {16, "Der TRX-Datensatz konnte nicht geschlossen werden."},
    {17, "Der TRX-Datensatz enth\xE4lt keine exportierbaren Kan\xE4le."},
    {19, "Der TRX-Datensatz konnte nicht gelesen werden."},
    {20, "Der TRX-Datensatz enth\xE4lt keine exportierbaren Abszissen."},
    {21, "Der TRX-Datensatz enth\xE4lt keine Zeitdaten."},
    {22, "Der TRX-Datensatz enth\xE4lt Kan\xE4le mit unterschiedlichen Abtastraten."},
    {38, "Alle Kan\xE4le m\xFCssen dieselbe Abtastrate haben."},
    {91, "Ein Kanal mit dem angegebenen Index existiert nicht."},
    {100, "Schreibzugriff auf %s verweigert!\n\nDas Ziel ist m\xF6glicherweise ein CD-ROM-Laufwerk.\nW\xE4hlen Sie in den Einstellungen einen anderen Zielpfad."},
    {101, "Das Ziellaufwerk ist schreibgesch\xFCtzt!\n\nHeben Sie den Schreibschutz auf oder\nw\xE4hlen Sie in den Einstellungen einen anderen Zielpfad."},
    {104, "Die Anzahl der aus der Eingabedatei gelesenen Bytes entspricht nicht der erwarteten Anzahl (Kopfinformation)."},
    {106, "Der MP3-Konverter ist fehlgeschlagen."},
    {110, "Programmierfehler: Es wurde kein Ausgabepfad angegeben."},
    {111, "Pfad und Name von Eingabe- und Ausgabedatei sind identisch.\nBitte w\xE4hlen Sie einen anderen Namen oder Pfad f\xFCr die Ausgabedatei."},
    {112, "F\xFCr die folgende Datei konnte kein TRX-Datensatz angelegt werden:\n%s"},
    {113, "Die Konvertierung wurde bereits gestartet."},
    {114, "\xDC" "bertragen der Daten aus der Eingabedatei %s fehlgeschlagen."},
    {115, "Schreiben in den TRX-Datensatz fehlgeschlagen."},
    {116, "Programmierfehler: Ung\xFCltige Parameterwerte."},
    {140, "Die WAVE-Datei konnte nicht gelesen werden. Das Format ist m\xF6glicherweise falsch."},
    {142, "Die WAVE-Datei konnte nicht geschlossen werden."},
};

} // namespace

extern "C" __attribute__((visibility("default"))) const char* TesselResText(unsigned id)
{
    auto it = std::lower_bound(std::begin(kTexts), std::end(kTexts), id,
                               [](const Entry& e, unsigned v) { return e.id < v; });
    return (it != std::end(kTexts) && it->id == id) ? it->text : nullptr;
}
