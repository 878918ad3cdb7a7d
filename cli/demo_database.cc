// The demo database generator. Text is written here in UTF-8 and handed to the engine in
// Windows-1250; every choice comes from one seeded generator, so the rows never change.
#include "cli/demo_database.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <set>

#include "engine/paradox/codepage.h"
#include "engine/paradox/file.h"
#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/types.h"
#include "engine/value.h"

namespace tablorix::demo {

namespace {

using paradox::Utf8ToWin1250;

constexpr int kCustomers = 400;
constexpr int kOrders = 1200;

// splitmix64: small, fast and the same on every platform (unlike the standard distributions).
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed) {}
  uint64_t Next() {
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return int(Next() % uint64_t(n)); }
  template <size_t N>
  const char* Pick(const char* const (&items)[N]) {
    return items[Below(int(N))];
  }

 private:
  uint64_t s_;
};

const char* const kSurnames[] = {
    "Kovács", "Nagy",   "Szabó", "Tóth",   "Horváth", "Varga",   "Kiss",     "Molnár", "Németh",
    "Farkas", "Balogh", "Papp",  "Takács", "Juhász",  "Lakatos", "Mészáros", "Oláh",   "Simon",
    "Rácz",   "Fekete", "Szűcs", "Győri",  "Bíró",    "Pintér",  "Fülöp"};
const char* const kGivenNames[] = {
    "Ödön",   "Éva",    "Zoltán", "Ágnes", "István",  "Erzsébet", "László", "Katalin", "Gyula",
    "Júlia",  "Ferenc", "Ilona",  "Győző", "Piroska", "Tünde",    "Ákos",   "Réka",    "Örs",
    "Csilla", "Bence",  "Ünige",  "Előd",  "Dóra",    "Márton",   "Szilvia"};
struct City {
  const char* name;
  const char* zip;
};
const City kCities[] = {
    {"Budapest", "1011"},        {"Győr", "9021"},           {"Debrecen", "4024"},
    {"Szeged", "6720"},          {"Pécs", "7621"},           {"Miskolc", "3525"},
    {"Kecskemét", "6000"},       {"Székesfehérvár", "8000"}, {"Nyíregyháza", "4400"},
    {"Sopron", "9400"},          {"Eger", "3300"},           {"Veszprém", "8200"},
    {"Szombathely", "9700"},     {"Zalaegerszeg", "8900"},   {"Békéscsaba", "5600"},
    {"Hódmezővásárhely", "6800"}};
const char* const kStreets[] = {
    "Petőfi Sándor utca",   "Kossuth Lajos tér", "Rákóczi út", "Arany János utca",
    "Széchenyi István tér", "Dózsa György út",   "Béke utca",  "Jókai Mór utca",
    "Ady Endre út",         "Bartók Béla út",    "Fő utca",    "Szőlőhegy utca"};
const char* const kNotes[] = {"Törzsvásárló, mindig pontosan fizet.",
                              "Kéri, hogy a csomagot a szomszédnál hagyják.",
                              "Céges számlát kér, adószámmal.",
                              "Hétvégén nem elérhető.",
                              "Árvíztűrő tükörfúrógép – ékezetes próbaszöveg.",
                              "Előre utalással fizet; a visszaigazolást e-mailben kéri.",
                              "Csak délelőtt lehet szállítani.",
                              "Kutya a kertben, csengessenek!"};
const char* const kShipping[] = {"Személyes átvétel", "Futár", "Posta", "Csomagautomata"};

struct Product {
  const char* name;
  const char* category;
  const char* unit;
  int price;  // forint
};
const Product kProducts[] = {{"Szőlő", "Gyümölcs", "kg", 1290},
                             {"Alma", "Gyümölcs", "kg", 490},
                             {"Körte", "Gyümölcs", "kg", 690},
                             {"Őszibarack", "Gyümölcs", "kg", 990},
                             {"Szilva", "Gyümölcs", "kg", 590},
                             {"Cseresznye", "Gyümölcs", "kg", 1890},
                             {"Meggy", "Gyümölcs", "kg", 1490},
                             {"Dió", "Egyéb", "kg", 3990},
                             {"Mogyoró", "Egyéb", "kg", 4490},
                             {"Mák", "Egyéb", "kg", 2990},
                             {"Túró", "Tejtermék", "db", 690},
                             {"Tejföl", "Tejtermék", "db", 450},
                             {"Trappista sajt", "Tejtermék", "kg", 3290},
                             {"Kenyér", "Pékáru", "db", 790},
                             {"Kifli", "Pékáru", "db", 60},
                             {"Pogácsa", "Pékáru", "db", 190},
                             {"Kolbász", "Húsáru", "kg", 4990},
                             {"Téliszalámi", "Húsáru", "kg", 8990},
                             {"Paprika", "Zöldség", "kg", 1190},
                             {"Fokhagyma", "Zöldség", "kg", 1990},
                             {"Vöröshagyma", "Zöldség", "kg", 390},
                             {"Burgonya", "Zöldség", "kg", 350},
                             {"Uborka", "Zöldség", "kg", 890},
                             {"Paradicsom", "Zöldség", "kg", 1090},
                             {"Káposzta", "Zöldség", "kg", 290},
                             {"Sárgarépa", "Zöldség", "kg", 320},
                             {"Akácméz", "Egyéb", "db", 2890},
                             {"Baracklekvár", "Egyéb", "db", 1390},
                             {"Tokaji aszú", "Ital", "l", 9990},
                             {"Ásványvíz", "Ital", "l", 150}};
constexpr int kProductCount = int(sizeof kProducts / sizeof kProducts[0]);

Value Text(const std::string& utf8) { return Value::Text(Utf8ToWin1250(utf8)); }

void PutU16(std::string* s, uint16_t v) {
  s->push_back(char(v & 0xFF));
  s->push_back(char(v >> 8));
}
void PutU32(std::string* s, uint32_t v) {
  PutU16(s, uint16_t(v & 0xFFFF));
  PutU16(s, uint16_t(v >> 16));
}

// A small 24-bit BMP: a coloured disc on a gradient, both chosen by `rng`.
std::string MakeBmp(Rng& rng) {
  const int w = 32, h = 24, row = (w * 3 + 3) / 4 * 4;
  const uint32_t pixels = uint32_t(row * h);
  std::string b = "BM";
  PutU32(&b, 54 + pixels);
  PutU32(&b, 0);
  PutU32(&b, 54);
  PutU32(&b, 40);
  PutU32(&b, uint32_t(w));
  PutU32(&b, uint32_t(h));
  PutU16(&b, 1);
  PutU16(&b, 24);
  PutU32(&b, 0);
  PutU32(&b, pixels);
  PutU32(&b, 2835);
  PutU32(&b, 2835);
  PutU32(&b, 0);
  PutU32(&b, 0);
  const int bg[3] = {rng.Below(256), rng.Below(256), rng.Below(256)};
  const int fg[3] = {rng.Below(256), rng.Below(256), rng.Below(256)};
  const int cx = 8 + rng.Below(16), cy = 6 + rng.Below(12), r = 4 + rng.Below(5);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
      for (int c = 0; c < 3; ++c)
        b.push_back(char(disc ? fg[c] : (bg[c] * (w - x) + (255 - bg[c]) * x) / w));
    }
    b.append(size_t(row - w * 3), '\0');
  }
  return b;
}

double Round2(double v) { return std::round(v * 100.0) / 100.0; }

struct Line {
  int product;
  int quantity;
  double discount;  // percent
};

void WriteCustomers(Session& s, Rng& rng) {
  using namespace paradox;
  s.DbCreateTable("VEVOK",
                  {{"AZON", kAutoInc, 0},
                   {"NEV", kAlpha, 40},
                   {"VAROS", kAlpha, 25},
                   {"IRSZAM", kAlpha, 4},
                   {"UTCA", kAlpha, 40},
                   {"TELEFON", kAlpha, 16},
                   {"SZULETETT", kDate, 0},
                   {"AKTIV", kLogical, 0},
                   {"ROGZITVE", kTimestamp, 0},
                   {"MEGJEGYZES", kMemo, 20},
                   {"FOTO", kGraphic, 0}},
                  1);
  OpenOptions o;
  o.read_only = false;
  o.exclusive = true;
  auto c = s.DbOpenTable("VEVOK", o);
  c->BeginBatch();
  const int32_t born0 = DayNumberFromCivil(1940, 1, 1), born1 = DayNumberFromCivil(2005, 1, 1);
  const int32_t joined0 = DayNumberFromCivil(2023, 1, 1);
  for (int i = 1; i <= kCustomers; ++i) {
    const City& city = i == 1 ? kCities[1] : kCities[rng.Below(int(std::size(kCities)))];
    const std::string name = i == 1
                                 ? std::string("Kovács Ödön")
                                 : std::string(rng.Pick(kSurnames)) + " " + rng.Pick(kGivenNames);
    char phone[32];
    static const int kAreas[] = {20, 30, 70};
    std::snprintf(phone, sizeof phone, "+36 %d %03d %04d", kAreas[rng.Below(3)], rng.Below(1000),
                  rng.Below(10000));
    c->Insert();  // AZON is left empty: the table numbers it
    c->SetValue("NEV", Text(name));
    c->SetValue("VAROS", Text(city.name));
    c->SetValue("IRSZAM", Text(city.zip));
    c->SetValue("UTCA", Text(std::string(rng.Pick(kStreets)) + " " +
                             std::to_string(1 + rng.Below(120)) + "."));
    c->SetValue("TELEFON", Text(phone));
    c->SetValue("SZULETETT", Value::Date(born0 + rng.Below(born1 - born0)));
    c->SetValue("AKTIV", Value::Bool(rng.Below(10) != 0));
    const int64_t joined_ms =
        int64_t(joined0 + rng.Below(365)) * kMsPerDay + int64_t(rng.Below(24 * 3600)) * 1000;
    c->SetValue("ROGZITVE", Value::DateTime(double(joined_ms)));
    if (i % 7 == 1) {
      std::string note = rng.Pick(kNotes);
      for (int k = rng.Below(3); k > 0; --k) note += std::string("\r\n") + rng.Pick(kNotes);
      c->SetValue("MEGJEGYZES", Text(note));
    }
    if (i % 40 == 1) c->SetValue("FOTO", Value::Bytes(MakeBmp(rng)));
    c->Post();
  }
  c->EndBatch();
}

void WriteProducts(Session& s, Rng& rng) {
  using namespace paradox;
  s.DbCreateTable("TERMEKEK",
                  {{"KOD", kAlpha, 6},
                   {"NEV", kAlpha, 30},
                   {"KATEGORIA", kAlpha, 20},
                   {"MERTEKEGYSEG", kAlpha, 4},
                   {"EGYSEGAR", kCurrency, 0},
                   {"KESZLET", kLong, 0},
                   {"LEIRAS", kMemo, 10},
                   {"KEP", kGraphic, 0}},
                  1);
  OpenOptions o;
  o.read_only = false;
  o.exclusive = true;
  auto c = s.DbOpenTable("TERMEKEK", o);
  c->BeginBatch();
  for (int i = 0; i < kProductCount; ++i) {
    const Product& p = kProducts[i];
    char code[16];
    std::snprintf(code, sizeof code, "T%03d", i + 1);
    c->Insert();
    c->SetValue("KOD", Text(code));
    c->SetValue("NEV", Text(p.name));
    c->SetValue("KATEGORIA", Text(p.category));
    c->SetValue("MERTEKEGYSEG", Text(p.unit));
    c->SetValue("EGYSEGAR", Value::Double(p.price));
    c->SetValue("KESZLET", Value::Int(rng.Below(500)));
    if (i % 3 == 0)
      c->SetValue("LEIRAS", Text(std::string(p.name) + ": hazai termelőtől, " + p.category +
                                 " kategória, egysége " + p.unit + "."));
    if (i < 6) c->SetValue("KEP", Value::Bytes(MakeBmp(rng)));
    c->Post();
  }
  c->EndBatch();
}

void WriteOrders(Session& s, Rng& rng) {
  using namespace paradox;
  s.DbCreateTable("RENDELES",
                  {{"SORSZAM", kLong, 0},
                   {"VEVO", kLong, 0},
                   {"DATUM", kDate, 0},
                   {"IDOPONT", kTime, 0},
                   {"FIZETVE", kLogical, 0},
                   {"SZALLITAS", kAlpha, 20},
                   {"OSSZEG", kCurrency, 0}},
                  1);
  s.DbCreateTable("TETELEK",
                  {{"RENDELES", kLong, 0},
                   {"TERMEK", kAlpha, 6},
                   {"MENNYISEG", kShort, 0},
                   {"EGYSEGAR", kCurrency, 0},
                   {"KEDVEZMENY", kNumber, 0}},
                  0);
  OpenOptions o;
  o.read_only = false;
  o.exclusive = true;
  auto orders = s.DbOpenTable("RENDELES", o);
  auto lines = s.DbOpenTable("TETELEK", o);
  orders->BeginBatch();
  lines->BeginBatch();
  const int32_t day0 = DayNumberFromCivil(2024, 1, 1);
  for (int n = 1; n <= kOrders; ++n) {
    std::vector<Line> items;
    std::set<int> used;
    for (int k = 1 + rng.Below(5); k > 0; --k) {
      const int p = rng.Below(kProductCount);
      if (!used.insert(p).second) continue;  // a product once per order
      const int d = rng.Below(10);
      items.push_back({p, 1 + rng.Below(10), d < 7 ? 0.0 : d < 9 ? 5.0 : 12.5});
    }
    double total = 0;
    for (const Line& l : items) {
      const double price = kProducts[l.product].price;
      total += Round2(price * l.quantity * (100.0 - l.discount) / 100.0);
      char code[16];
      std::snprintf(code, sizeof code, "T%03d", l.product + 1);
      lines->Insert();
      lines->SetValue("RENDELES", Value::Int(n));
      lines->SetValue("TERMEK", Text(code));
      lines->SetValue("MENNYISEG", Value::Int(l.quantity));
      lines->SetValue("EGYSEGAR", Value::Double(price));
      lines->SetValue("KEDVEZMENY", Value::Double(l.discount));
      lines->Post();
    }
    orders->Insert();
    orders->SetValue("SORSZAM", Value::Int(n));
    orders->SetValue("VEVO", Value::Int(1 + rng.Below(kCustomers)));
    orders->SetValue("DATUM", Value::Date(day0 + rng.Below(731)));
    orders->SetValue("IDOPONT", Value::Time((8 + rng.Below(12)) * 3600000 + rng.Below(60) * 60000));
    orders->SetValue("FIZETVE", Value::Bool(rng.Below(10) < 8));
    orders->SetValue("SZALLITAS", Text(rng.Pick(kShipping)));
    orders->SetValue("OSSZEG", Value::Double(Round2(total)));
    orders->Post();
  }
  orders->EndBatch();
  lines->EndBatch();
}

}  // namespace

const std::vector<std::string>& DemoTableNames() {
  static const std::vector<std::string> kNames = {"VEVOK", "TERMEKEK", "RENDELES", "TETELEK"};
  return kNames;
}

std::vector<std::pair<std::string, int64_t>> WriteDemoDatabase(const std::string& directory,
                                                               bool overwrite) {
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) throw EngineError("Cannot create directory " + directory + ": " + ec.message());
  Session s;
  s.DbOpenDatabase(directory);
  const auto existing = s.DbListTables();
  if (!existing.empty() && !overwrite)
    throw EngineError("The directory already holds tables: " + directory);
  for (const std::string& name : DemoTableNames())
    for (const std::string& t : existing)
      if (paradox::EqualsNoCase(t, name)) s.DbDeleteTable(t);

  Rng rng(20240229);
  WriteCustomers(s, rng);
  WriteProducts(s, rng);
  WriteOrders(s, rng);
  // Indexes are built once the rows are in, which is faster than keeping them up row by row.
  s.DbAddIndex("VEVOK", "VAROS", "VAROS", 0);
  s.DbAddIndex("VEVOK", "NevVaros", "NEV;VAROS", ixCaseInsensitive);
  s.DbAddIndex("TERMEKEK", "KATEGORIA", "KATEGORIA", 0);
  s.DbAddIndex("RENDELES", "VEVO", "VEVO", 0);

  std::vector<std::pair<std::string, int64_t>> counts;
  for (const std::string& name : DemoTableNames())
    counts.push_back({name, s.DbOpenTable(name)->RowCount()});
  return counts;
}

}  // namespace tablorix::demo
