#include "orvane/protocol/detail/token_table.h"

#include <array>
#include <bit>
#include <cstring>
#include <type_traits>

#include "orvane/protocol/framing.h"
#include "orvane/protocol/tokens_enum.h"

namespace orvane::detail {
namespace {

// The wire codes. Printable "!" to "{", 186 of 26 characters and 15 of other
// lengths between 9 and 31, all different, none a prefix of another, none
// containing a framing literal. Never change a code: both ends of every
// connection must hold the same table.
constexpr TokenEntry kEntries[] = {
    {0, "x*qxB3g$TXSVK>L-&9DJdj9ubw",
     "UNDEFINED"},
    {1, "Q,^X,mi\"aJwndovb[@)'N_U(:2",
     "Logging on"},
    {2, "/c-zlP;9XonCZ=?y\\2e]9-jr5=",
     "Lost result"},
    {3, "U;p\"!wvDIIE+%ub,>pd",
     "Confirmed"},
    {4, "56VTH{@?Wc\\\"%n-6<\\Et5C@QV",
     "Result"},
    {5, "yI,tEt?WS3!%>)fp/`",
     "ERROR"},
    {6, "-r_\\O-k?[$KLY,D&JyLy:%32nf",
     "COUNT"},
    {7, "#^bf]Rk>ZmgS\"qG!Xz=Wp/b_XX",
     "No results"},
    {8, "2Exe^x^r.%(e0$FKhlZ961Xnbr",
     "Handshake"},
    {9, "oCWxB]\\?sTtn9I,eWsca&&]TW5",
     "Message"},
    {10, "r#.Vf^gImq)_2Wiy5M%PQ:9>at",
     "New session"},
    {11, "md$kJ?'PsI8z`nz@K^P.y^5M&E",
     "Remove session"},
    {12, "&DEIq).Vm/_,\"Uzbu#dX0Qf9O8",
     "Disconnect"},
    {13, "ayB{K;CK!eE\"EBKW7Y@xQZAbtF",
     "DateTime"},
    {14, "=vCl!.Fa[x,x(DZeyl87o?QPa+",
     "Change server"},
    {101, ";6p0m<MxTD.M<TE?Y#8zEe@R;>",
     "Requesting prices"},
    {102, "I-+HRzQ2;SDoAUZ.h_q^\\y{ngU",
     "Requesting open trades"},
    {103, ",_tMR'v25N4^<`R9v+Q^6I##py",
     "Begin sending prices"},
    {104, "*Kzdw0_Z:++zY^H>`w!5Nl]rPq",
     "Requesting symbols info"},
    {105, "T0!xmGD-R:K29\"Qh40q#8gF_ta",
     "Requesting accounts info"},
    {106, "+?'u/zkYn(CG,2Kgj+24ov\\d[(",
     "Requesting account summaries"},
    {107, "oh_ivKE@lOZxO$qOp.S0+E91rr",
     "New market order"},
    {108, "'KKFY']G2d<Zh.ha@c01h\"xTpQ",
     "Client accepted order"},
    {109, "2H.koLPV5wXG/ueXWm(AsMrK\\$",
     "Client rejected order"},
    {110, "'/XPkH;&ch^xjH+Uou0x=hp.Lh",
     "Order expired"},
    {111, "W%R5OP'!q]t'Tg$VTq2%WphS&#",
     "Requesting pending orders"},
    {112, "FI*{7D]^r-yVHJa$ibdn(BRv3p",
     "Killing order"},
    {113, "{($yW%%g`;Q+X#^q0]ojllrLy.yavi'",
     "Close market order"},
    {114, "vx>4_NaEl![i>;8'b4hG[!W<CR",
     "Requesting position info"},
    {115, "';R&HKN]9y<+yj*(qkk7p{$+n+",
     "New limit/stop order"},
    {116, "x:P%WfZetl$%xK*/lI[loC801P",
     "Update limit/stop order"},
    {117, "6oN^rds$fn'F\\1^6x/_N:c3*g,",
     "Delete limit/stop order"},
    {118, "#6->Y&\"!b(WDO&\\<\"1nt&K1`p%",
     "Requesting SL/TP order"},
    {119, "Wp{vE&O@\"b!YWYuB.NwODZ0QYO",
     "New SL/TP order"},
    {120, "Icei-!U01lhFT7a$V.*Vk>_>-Z",
     "Delete SL/TP order"},
    {121, "+ZrOq)vvi+K{r%_a[[bSr\"uVlw",
     "Requesting account history"},
    {122, "+]aln6o4!b>zZQ\\]x>cteYS\"Ad",
     "Requesting statement accounts"},
    {123, "4^4D6q:h7Jmccq0'T%\\'2<_Oul",
     "Requesting statement history"},
    {124, ",e=s.GF]^C8\"hbg<9OoY^Kf\"lC",
     "Requesting statement open trades"},
    {125, "x`Eg3tdSoJg{:\"3ynsBq2l51%_",
     "Account was created"},
    {126, "i&S(s_Df3<1[yqTtZXX)6Q&3qG",
     "Update password"},
    {127, "=i%1)&G.y'n<3y;lbKL'>KY;zi",
     "Close by hedge"},
    {128, "p*Y(G=e5wF*gGWh`ej57kaobmG",
     "Requesting symbol history"},
    {129, "[X[c8zX[])ml\"I2[yJmmn{O0qA",
     "Send account summary by SMS"},
    {130, "6Mjci9ZMCT]f']v?X)JE{oA]/[",
     "Requesting delivey items"},
    {131, "su\"gzWm5.YvBRMCu#re.!YQ0bM",
     "Broadcast message"},
    {132, "QoBhTShnq>bFFFO6D&`X258<+r",
     "Requesting privileges"},
    {133, "jT44'c<da=Ob[*N7p4\\7lftZ",
     "Manual new position"},
    {134, "_ha[Dr'{wBJEh_nyx-{T=,LF-7",
     "Manual close position"},
    {135, ",9Y&ctAiOioT-6g^$\"L#8*1+1+",
     "Update open position"},
    {136, "vQ'`4E+1%>lSBPIh#p)S\\:nF;3",
     "New delivey item"},
    {137, "g%Cg):]kburYy8f-leef1(BI)U",
     "Switch chatting on"},
    {138, "%,^<[FBT(x1fj=G`^uOpcw27\\>",
     "Switch chatting off"},
    {139, "ZIs<+lqfiy*['u=05m{&G3`Cjt",
     "Market order is received"},
    {140, "p;oF]'@s2(z)zs+GP.(%5v*H[+",
     "Dealer accepted order"},
    {141, "EuvGd^a=zi0S5O=[kq=X\\;?wKH",
     "Dealer rejected order"},
    {142, "VP6csfm:0l3O0k.AK]nx&>%(cr",
     "Dealer re-quoted order"},
    {143, ".KAB#;'h+Fm#xwx#5wNhCLXZrw",
     "Update delivey item"},
    {144, "lvBt(S*zv!\\;8M_2gjk95%#&FU",
     "Delete delivey item"},
    {145, "wK3UavB$g?j:F$1u3Ku%89/q`P",
     "Make money transaction"},
    {153, "z9:\\QMhuihpzF2e$NM%x!'f:YU",
     "Create client"},
    {154, "NBwb'$3Sp%#sdBT08N\\XvhI.%4",
     "Requesting client info"},
    {155, "z%ltkcF?2%3M)Nh=850Cb)'c(<",
     "Update client info"},
    {156, "Mfmral\\<ya$VW*GUC2b;VoPh2(",
     "Create office"},
    {157, "RZ;xG'61:H((YZ{+1o-G3V))be",
     "Requesting office info"},
    {158, "HM(RLtD7->PgJ)o?-A.k'/[={b",
     "Update office info"},
    {159, "1jEu+_>-q!]TAe?O[B.C_^W@n_",
     "Delete client"},
    {160, "{/TG6!xHO@Sjk7qQgLvPs[w<TE",
     "Create account"},
    {161, "nigFhP\"1aT!?yZ^sT/'Cq*zlK-",
     "Update account"},
    {162, "xv*utHks\\9i=WfR:8?%r5b87fO",
     "Delete account"},
    {163, ",LQt\\N[18LGr3-CnMYxK/8f1(X",
     "Requesting close position info"},
    {164, "T]V:\";<lH+)EWLRPDY*X(5PvK`",
     "Update close position info"},
    {165, "\"u)uM\";X#hrf(rt{LJA0D'sxGx",
     "Delete position"},
    {166, "Dn/5{taG`pY`V4'O{0gehV-]aH",
     "Delete close position"},
    {167, "Co6Ut_aKf`R\\lK,_#m{)/93]Py",
     "Update money transaction"},
    {168, "m#ACu#$?!-rY[rlz;CjtN=e(01",
     "Delete money transaction"},
    {169, "L`By_-Yg,AB-zLoAq%@fN=yKU@",
     "Update SL/TP order"},
    {170, ",La4CB1BLdFlc<oabwGDbDSjG0",
     "Send mail to username"},
    {171, "Qb;5.N<xFb4+RuOpt\\M]`>9<`7",
     "Requesting mail"},
    {172, "8,Rh%[y;W3[PP54fF@>?'N&6`N",
     "Delete mail"},
    {173, "ZG=pzvrp`,M1A?kYo;'g.X.7oO",
     "Requesting mails"},
    {174, "-'gisEyw]I?vRYPFq+w@%8k7bb",
     "New alert"},
    {175, ":Hpo>kL6gccO`;y-',{\"@4zTZF",
     "Update alert"},
    {176, ":35+eg]%]Rf2kmy0il5X]Mdk4_",
     "Delete alert"},
    {177, "sZYJ?N#I6z;5TC^b^D`e^kBJ7k",
     "Open demo account"},
    {178, ":-U@9n)4m@vNl{8vAL-J=(#ui$",
     "Update client parameter"},
    {179, "#5BV>cr*La&R4xG;?+2GiqBGAG",
     "Move dealer"},
    {180, "jP1z1m_L\"t;08E_T(@]$0J3'U=",
     "Requesting floating status"},
    {181, "Y]eO^+[Xl=gYueSzlL##[,B\\DX",
     "Requesting settled status"},
    {182, "b6\\unW6;tYM*$]1p;Z';{:Z!i%",
     "Requesting online sessions"},
    {183, "v\\qLpUP81=Y${7I,Mx-y>rSkGd",
     "Requesting client parameters"},
    {184, "ZTmM<;NX-?qF!AL)u#V\\`p.tnE",
     "Create new dealer"},
    {185, "z/1G^F'\\Rk@)Z)C4j%)ct)E9B&",
     "Delete dealer"},
    {186, "DYO{3E?7\"tNSy!4_m7h{tX=lT%",
     "Requesting dealer general parameters"},
    {187, "54;ZdZ1Aj]VX-7]mZta_b{+DO[",
     "Requesting dealer symbol parameters"},
    {188, "D*`I>fp,hKX`OL{DcrU'e6m`*[",
     "Requesting dealer privilege parameters"},
    {189, "qkW0_Vo;+GpKFYZcAu;4)A\\Pj<",
     "Change dealer parameters"},
    {190, "h:6q986Azqmiin2f9{[*RKU\"/W",
     "Requesting dealer info"},
    {191, "BDRWCm0xXH]kf%\"['7o?p=7nvu",
     "Update dealer info"},
    {192, "_w&il618uQBCCdBPSxAmqy'0K(",
     "Requesting dealers info"},
    {193, "TzYY8IB'Lmi`$",
     "Requesting departments"},
    {194, "+Y6'#]KK%iOC/h8Oa!?z8a:d1`",
     "Send mail to department"},
    {201, "ctc%2c8/l,uZ$x7vKlRrq'(tj\"",
     "Requesting transactions log"},
    {202, "/(OF@yPV/cJ/{W0oN.91F1)8e{",
     "Requesting report"},
    {203, "\"!.eW&iT-+(Q17`qrCT",
     "Requesting symbol settings"},
    {204, "#]0zzW\")\\wt]%?gQ`u3FMZkD[H",
     "Change symbol settings"},
    {205, "sl>2aZTfAo?/M=*35iV5^cab'8",
     "Disconnect session"},
    {206, "CW9y\\PKE*G9^NFXla#09'mvb2A",
     "Disconnect all sessions"},
    {207, "D5I*('$M>j+2S2!<CP:O*qp/f5",
     "Requesting general options"},
    {208, ">[`T{Z2^\"K0[e:VvEp]chT5bxm",
     "Change general options"},
    {209, "$zeN(_AN<KdVbv?1CB825JzCOg",
     "New holiday"},
    {210, "irX^#-D%9c9%{g'AO.]R]7J2@>",
     "Delete holiday"},
    {211, "4&faaz<d#%N/veaqpzJny&[`F_",
     "Requesting holidays"},
    {212, "Jd[uVm&lUghK76iROhNKD",
     "Update holiday info"},
    {213, "V/'uyo@zpUStc29/o#0M_#AnZU",
     "Requesting holiday symbols"},
    {214, "ybuk2A)l'uV@ho52)R^lns-0g`",
     "Move client"},
    {215, "V`r*u:/Vinz-RQKV5[N]C][oD1",
     "Create group"},
    {216, "LMV8f)pLq(0C-LtC_-^v&J7Kn+",
     "Update group"},
    {217, "rpttHnZHib(sYsFt4{H33QB'Bq",
     "Requesting group info"},
    {218, "14J021Y$zbJJ<W$76g\\#ojgQd<",
     "Requesting week schedule flags"},
    {219, "4V`(WU[[_:$(@MmdGI,hP*1R9I",
     "Update week schedule flags"},
    {220, "qOti],+,>k\"$*$[QmWK!0f8m{`",
     "Requesting SMS/Email Config"},
    {221, "d.qF@<-D`mez8(Q`QETAl/O7\")",
     "Update SMS/Email Config"},
    {222, "'cEe8WSXaT/VP6(9X#nw)X+V,Z",
     "Requesting symbol analysis"},
    {223, "kLlE7(hZ-4GJ?5]NRr_]p8LRlW",
     "Update symbol analysis"},
    {224, "9XEfRab'TQPRvbBMe@OeKK/j1#",
     "Requesting account remaining data"},
    {225, "j&&R=:#V2Q_84GK[]&<M\\/V<Q3",
     "Set filtering banks"},
    {226, "7F*4[749y?d,_iZ/WEb'H+HsdV",
     "Requesting filtering banks"},
    {227, "sX]X5EJTS1Yi{qLbugVFE9qzY.",
     "Delete bank"},
    {228, "oQdifP:Q#Eb=^s-a;G$eL^jK@>",
     "New bank"},
    {229, "@5C47N8,h&%23q4%Xn6%].w<5'",
     "Update bank"},
    {230, "\"CI]-57tA>M6U#T.kvT4%$Q+wr",
     "Requesting statement info"},
    {231, "4Spfm0@Z9x=n:i#(7A\"Mhx{!to",
     "Requesting alerts"},
    {243, "\"=2Myj8+@hD!e9I#7KK\\prR'>y",
     "Prices"},
    {245, "''b<b7ce7",
     "Order status changed"},
    {248, "V8+{5V.W7juI_&_t>(xe@]kJEz",
     "Market order"},
    {249, ">-2TJUM5u#>fV-hE9g?XDR]n-t",
     "Account is liquidated"},
    {250, "f(j:fNG)u:6N2cEa\"jBfGaSmBu",
     "Summaries is changed"},
    {251, "<r6!sFpOH!s3jJo%j-[2u&&.*{",
     "New account history"},
    {252, "GJ{Wm154g>_ja8=MD\"o;Qo4*mr",
     "Delete account history"},
    {253, "uuSn_'>?W8%g&1Kc4F99ZHrN$]",
     "New open position"},
    {254, "!?nI,Hq:jLyBdqvOF@S-zfziZU",
     "Delete open position"},
    {255, "T\\RKEM8P-JtAhz$",
     "Update open position"},
    {256, "O><rrHD<n>?dsq,i5nr=7UiPI@",
     "Close open position"},
    {257, "cIu%Csc{g>JskuPipnOqn&qTKq",
     "Delete close position"},
    {259, "jobn;S4H1",
     "New pending order"},
    {260, "(Cp4F7>\"jk>A[p0zNi``8BW\\X(",
     "Delete pending order"},
    {261, "`29=GPHg]=!w'B3ozaZZZq_(ZV",
     "Stop feed"},
    {262, "^msb?oAVFbn-tSf/PgM/:n;nRV",
     "Update offsets"},
    {263, "n4eiEy?b=LSxB${'(U2`F[fHvO",
     "Requesting statement pending orders"},
    {264, "+saClofma>wycHqK?_XbO>Ae!@",
     "Client parameter"},
    {265, "tXP/6,ICl#/f63Gnx`Yq9x#_2)",
     "Client parameters"},
    {266, ";jH%<Hh*&&kicxJ1A<JTLY0-SK",
     "New mail"},
    {267, "*ma8&hw/,CC4s_U&f[8,B#iA4z",
     "Mail is deleted"},
    {268, "7\"3&&YGodPT[fdGWN>Vr30E6*1",
     "New transaction log"},
    {269, "J/uh0>k^*SN-=qy%^z{g&>Wc$l",
     "New candle"},
    {272, "<EN81\\{B2{Wqs3jB[,#lu+slSO",
     "Dealer is deleted"},
    {273, "u!f%W#M!<a[58XOsH2.ao99\"Ue",
     "Dealer is added"},
    {274, "QRlBM05tf`iz\\r80JfeK.#_<Yz",
     "Dealer info is updated"},
    {275, "9SE,;U>$k`",
     "UNDEFINED"},
    {276, "hMO3yZL&Q8mA!XmF.l\"Dm[#@y\"",
     "High/Low"},
    {277, "-8>x)6>16#&aI%/[4?tLEM,cBq",
     "Set feeds options"},
    {278, "u`(s&Sj4c\"T^u",
     "Add new feed"},
    {279, "qPOWjWnnrqlOz@_)lJ1!a=l{fz",
     "Delete feed"},
    {280, "J+F2m:$f>]R0hz($H3m4uwrn:.",
     "Update feed"},
    {281, "Q#m>X.V4L?Hm.cU(Jy:475&WzO",
     "Requesting feeds"},
    {282, "aC;s.K!vsULsE031^oiflVI.QL",
     "Activate feed"},
    {283, "kXoIh{;3r",
     "Requesting feeds options"},
    {284, "Np5Fna2#cIaY[:M[O*)o;GklDj",
     "Limit/Stop order is updated"},
    {285, "8d{,-jBb=HV7Khf<1\\nl4:YRTw",
     "SL/TP order is updated"},
    {286, ":Y{bEWnrH;[JI`e>BAhy!9,1AO",
     "Positions is closed by hedge"},
    {287, "NUn&.Nb@ke^XLcxA',J*[(nHYu",
     "Send order to dealer"},
    {288, "7uP+`1MP=OWo[9BkE?DT-17{zN",
     "Requesting demo account template"},
    {289, "3sb<ByNnc>En&*+f(,_BM']`6x",
     "Update demo account template"},
    {290, "-!]D\".$`ZlYc+P0h<p%t%`gF-%",
     "Requesting units"},
    {291, ".u&sC^\"Awa?4g1{m8EYm)e[Dfv",
     "New unit"},
    {292, "h-1><vt:6'I8%]cK61?pa$YlrF",
     "Delete unit"},
    {293, "/fAC\"l7Q&r#Ld7XyI#e>$/>5;L",
     "Update unit"},
    {294, "C6^+Q17(O9@@/.A7b338X,#\"(&",
     "Requesting general client parameters"},
    {295, "fn9Oeg;IKWl@Y1ZbP9'`w]*$f@",
     "Copy parameter"},
    {296, "Bw`Q3+#9wh8$FZSe=,=8{#(YD,",
     "Requesting symbol scroll history"},
    {297, "nS9&O_*euMOp29r/tF1X;_.!l;",
     "Requesting symbol half tick"},
    {298, "L?c^RjQv^Nn`2Mnm:3]'m`?\"@\\",
     "Requesting news headlines"},
    {299, "72&u@bAVZITFVJ2[F+Lj,NuTcx",
     "News data"},
    {300, "&M1qHS/ZhGFJGi,&{1[Zci,^j<",
     "Requesting news body"},
    {301, "5FOO0lKR_K1x\\U/U4dXH",
     "Requesting QRL codes"},
    {302, "j,h>KhU{g1=LDGq9q];%%_;e?^",
     "Requesting QRL groups"},
    {303, "=I3r:nbhdYelbPYYW<ctv<Tv=z",
     "Change position column"},
    {304, "+Ov#WK6*\"](A:4-?7%`n=q$/{{",
     "Change summary value"},
    {305, "5LWLzy8F[$9ivBi&%<MODvqs,j",
     "Client parameter"},
    {306, "umL/wO$HG`]U^Y^?6'waux1/tI",
     "Requesting general variables"},
    {307, "\"q@JA#m?:YQJ9'S#vE+0pg[7HJ",
     "Requesting accounts summaries"},
    {308, "FfpyBig<02y(YWWC*#T`?g'/K'",
     "New symbol"},
    {309, "Wun]rXFxig3;(mjm#/mq/C6r#I",
     "Move symbol"},
    {310, "6;;{<)&fRHQjZ{%1VZt7&W?QK)",
     "Delete symbol"},
    {311, "!&NCjzDU1,UEG>s'Y5L%h9w^;@",
     "Broadcast SMS"},
    {312, "O\"g>'N.uO8#nfNt-U2/R\\Bx7aa",
     "Switch order to another dealer"},
    {313, "oj?WkuoDBm4,<;%;sfvsP+>.e)",
     "Requesting clients"},
    {314, "&:#XwERCM]SmWE=jwdt2JC5{z,",
     "Requesting accounts2"},
    {315, "Hh\"zB>.]&P)3BIf1ZyqBtV!I'v",
     "Accept risk warning terms"},
    {317, "b4{;e>'S[]M,9TH%?(>p(7\"]B5",
     "MW Data"},
};

static_assert(std::size(kEntries) == 201);

constexpr std::string_view kUndefined = "UNDEFINED";

constexpr std::array<std::string_view, kTokenSlots> build_code_slots() {
  std::array<std::string_view, kTokenSlots> slots{};
  for (const TokenEntry& entry : kEntries) slots[entry.value] = entry.code;
  return slots;
}
constexpr std::array<std::string_view, kTokenSlots> kCodeSlots = build_code_slots();

constexpr std::array<int16_t, kTokenSlots> build_entry_index() {
  std::array<int16_t, kTokenSlots> index{};
  for (auto& slot : index) slot = -1;
  for (size_t i = 0; i < std::size(kEntries); ++i) {
    index[kEntries[i].value] = static_cast<int16_t>(i);
  }
  return index;
}
constexpr std::array<int16_t, kTokenSlots> kEntryIndex = build_entry_index();

constexpr size_t kMinCodeLength = 9;
constexpr size_t kMaxCodeLength = 31;
// The length of most codes, tried first when a message is read.
constexpr size_t kCommonCodeLength = 26;

// Eight bytes as a little-endian number, also at compile time.
constexpr uint64_t load64(const char* p) {
  if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
  }
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(p[i]);
  return value;
}

static_assert(kMinCodeLength >= 8);  // as SameText needs

// Open addressing over 1024 buckets, keyed by the first and last eight bytes
// and the length of a code (every code has at least nine bytes). Built at
// compile time.
class CodeIndex {
 public:
  constexpr CodeIndex() : m_bucket() {
    for (auto& slot : m_bucket) slot = -1;
    for (size_t i = 0; i < std::size(kEntries); ++i) {
      size_t at = bucket(kEntries[i].code.data(), kEntries[i].code.size());
      while (m_bucket[at] >= 0) at = (at + 1) & kMask;
      m_bucket[at] = static_cast<int16_t>(i);
    }
  }

  int32_t find(std::string_view code) const {
    const TokenEntry* entry = find_entry(code);
    return entry == nullptr ? 0 : entry->value;
  }

  const TokenEntry* find_entry(std::string_view code) const {
    if (code.size() < kMinCodeLength || code.size() > kMaxCodeLength) return nullptr;
    for (size_t at = bucket(code.data(), code.size());; at = (at + 1) & kMask) {
      const int16_t entry = m_bucket[at];
      if (entry < 0) return nullptr;
      if (kEntries[entry].code == code) return &kEntries[entry];
    }
  }

  // The entry whose code is the kCommonCodeLength characters at `text`
  // (none when no code is), with a compare of fixed length.
  const TokenEntry* find_common_entry(const char* text) const {
    for (size_t at = bucket(text, kCommonCodeLength);; at = (at + 1) & kMask) {
      const int16_t entry = m_bucket[at];
      if (entry < 0) return nullptr;
      const std::string_view code = kEntries[entry].code;
      if (code.size() == kCommonCodeLength &&
          SameText(code.data(), text, kCommonCodeLength)) {
        return &kEntries[entry];
      }
    }
  }

 private:
  static constexpr size_t kBuckets = 1024;
  static constexpr size_t kMask = kBuckets - 1;

  static constexpr size_t bucket(const char* code, size_t size) {
    const uint64_t head = load64(code);
    const uint64_t tail = load64(code + size - 8);
    uint64_t h = head * 0x9E3779B97F4A7C15ull;
    h ^= (tail + size) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 31;
    return static_cast<size_t>(h >> 54);
  }

  std::array<int16_t, kBuckets> m_bucket;
};

constexpr CodeIndex kCodeIndex;

// The distinct lengths of the codes, the common one first.
constexpr size_t kDistinctLengths = [] {
  std::array<bool, kMaxCodeLength + 1> seen{};
  size_t count = 0;
  for (const TokenEntry& entry : kEntries) {
    if (!seen[entry.code.size()]) ++count;
    seen[entry.code.size()] = true;
  }
  return count;
}();

constexpr std::array<size_t, kDistinctLengths> kCodeLengths = [] {
  std::array<bool, kMaxCodeLength + 1> seen{};
  for (const TokenEntry& entry : kEntries) seen[entry.code.size()] = true;
  std::array<size_t, kDistinctLengths> lengths{};
  size_t count = 0;
  lengths[count++] = kCommonCodeLength;
  for (size_t length = 0; length <= kMaxCodeLength; ++length) {
    if (seen[length] && length != kCommonCodeLength) lengths[count++] = length;
  }
  return lengths;
}();


}  // namespace

std::span<const TokenEntry> TokenEntries() { return kEntries; }

std::string_view TokenCodeAt(int32_t index) {
  if (index < 0 || index >= kTokenSlots) return {};
  return kCodeSlots[index];
}

std::string_view TokenDescriptionOf(int32_t value) {
  if (value < 1 || value >= kTokenSlots || kEntryIndex[value] < 0) return kUndefined;
  return kEntries[kEntryIndex[value]].description;
}

int32_t TokenByCode(std::string_view code) { return kCodeIndex.find(code); }

// A text whose first L characters are a code and are followed by a token end
// marker has its first marker there: the code holds none, and a marker
// beginning one or two characters earlier would need "?" or "<" where the
// marker's "s" stands. As no code is a prefix of another, at most one length
// fits. So trying every code length finds the token the general rule (first
// marker, then the whole text before it against every code) finds, and a
// text that fits no length has token 0.
//
MessageHead FindMessageHead(std::string_view cmd) {
  const TokenEntry*& last = t_last_head;
  if (cmd.size() >= kCommonCodeLength + kTokenEnd.size() &&
      IsTokenEndAt(cmd, kCommonCodeLength)) {
    const TokenEntry* entry = kCodeIndex.find_common_entry(cmd.data());
    if (entry != nullptr && entry->value != 0) {
      last = entry;
      return {entry->value, kCommonCodeLength + kTokenEnd.size()};
    }
  }
  for (size_t i = 1; i < kCodeLengths.size(); ++i) {
    const size_t length = kCodeLengths[i];
    if (cmd.size() < length + kTokenEnd.size()) break;
    if (!IsTokenEndAt(cmd, length)) continue;
    const TokenEntry* entry = kCodeIndex.find_entry(cmd.substr(0, length));
    if (entry != nullptr && entry->value != 0) {
      last = entry;
      return {entry->value, length + kTokenEnd.size()};
    }
  }
  return {};
}

std::vector<std::string> DuplicateCodeMessages(std::span<const std::string_view> codes) {
  std::vector<std::string> messages;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i].empty()) continue;
    for (size_t j = 0; j < codes.size(); ++j) {
      if (i != j && codes[i] == codes[j]) messages.emplace_back(codes[i]);
    }
  }
  return messages;
}

}  // namespace orvane::detail
