// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Generates the country library res/countries.db from public data.
//
//   node generate.js [output]      writes the library (default ../../res/countries.db)
//   node generate.js --check       builds it in a temporary file and compares it with the committed one
//
// Where each column comes from:
//   sn      ISO 3166 region codes of the regions in libphonenumber-js/metadata.max.json
//           (libphonenumber's numbering-plan metadata, Apache-2.0).
//   pnum    the region's country calling code from the same metadata.
//   numc    the possible lengths of a national number (without trunk prefix) of the region's mobile
//           numbers; where the region has no mobile description, those of its whole national plan.
//   r1      the national mobile-number pattern (so GB's admits only numbers beginning with 7); where mobile
//           and fixed-line numbers share one pattern (US, CA), that pattern; where the region has no mobile
//           description at all (TA), its general national-number pattern. Stored without anchors;
//           the application adds "^" and "$".
//   n       English name: Intl.DisplayNames("en", region) of Node's ICU data.
//   ln      name in the region's own language: Intl.DisplayNames of the region's likely language
//           (Intl.Locale("und-XX").maximize(), from CLDR's likely subtags); the English name when ICU
//           has no name in that language.
//   mmc     the MCCs assigned to the region, comma-separated in ascending order, from the npm package
//           mcc-mnc-list (the E.212 network tables). A region that owns no MCC lists the MCCs its
//           networks use under another region's MCC (Guernsey: 234); a region without networks has none.
//   mmc_sn  each MCC of mcc-mnc-list once, with the region that owns it: the region with the most
//           networks under that MCC; the ties and near-ties are settled by OWNER_OVERRIDES below.
//   u2, r2, r3, r4, mnc_rx  empty: the application never reads them.
//
// Cross-check: when Debian's mobile-broadband-provider-info is installed, every MCC it lists is compared
// with mcc-mnc-list and the differences are printed. mcc-mnc-list wins: it follows the E.212 tables
// network by network, while the provider database only carries the networks someone configured data
// access for, and carries mistakes such as a Ugandan network under Russia's 250. The cross-check never
// changes the output, so the library does not depend on that package being installed.
//
// Rows shown in the application's documentation keep the values given there where public data differ
// (SHOWN_ROWS below): Germany's numc is 7,8,9,10,11,12 there while libphonenumber's German mobile
// numbers have 10 or 11 digits. The differences are printed on every run.
//
// Reproducibility: the rows are sorted, the page size is fixed and the file is vacuumed, so the same
// package versions (package-lock.json), Node/ICU version and sqlite3 version give the same bytes.

'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');

const metadata = require('libphonenumber-js/metadata.max.json');
const mccList = require('mcc-mnc-list/mcc-mnc-list.json');

const SHOWN_ROWS = {
    US: { pnum: '1', mmc: '310,311,312,313,314,315,316', numc: '10', n: 'United States' },
    GB: { pnum: '44', mmc: '234,235', numc: '10', n: 'United Kingdom' },
    DE: { pnum: '49', mmc: '262', numc: '7,8,9,10,11,12', n: 'Germany' },
    RU: { pnum: '7', mmc: '250', numc: '10', n: 'Russia' },
    IT: { pnum: '39', mmc: '222', numc: '9,10', n: 'Italy' },
};

// MCCs shared by several regions with the same number of networks, or where the count misleads.
const OWNER_OVERRIDES = {
    '340': 'GP', // E.212 assigns it to the French Antilles (Guadeloupe, Martinique); French Guiana shares it
    '362': 'CW', // the former Netherlands Antilles, Curaçao being their former seat
    '505': 'AU', // Australia; the Cocos and Christmas Islands use its networks
    '647': 'RE', // Réunion; Mayotte uses its networks
};

const FIXED_LINE = 0;
const MOBILE = 1;

function regionPlan(region) {
    const data = metadata.countries[region];
    const generalPattern = data[2];
    const generalLengths = data[3] || [];
    const types = data[11];
    const mobile = types && types[MOBILE] ? types[MOBILE] : null;
    if (!mobile)
        return { pnum: data[0], r1: generalPattern, numc: generalLengths.join(',') };
    // The compressed metadata writes an empty mobile pattern where mobile and fixed-line numbers share
    // one pattern (the North American plan); the fixed-line description then stands for both.
    const fixedLine = types[FIXED_LINE] || [];
    const pattern = mobile[0] !== '' ? mobile[0] : fixedLine[0] || generalPattern;
    const lengths = mobile[1] || (mobile[0] === '' && fixedLine[1]) || generalLengths;
    return { pnum: data[0], r1: pattern, numc: lengths.slice().sort((a, b) => a - b).join(',') };
}

function regionNames(region) {
    const english = new Intl.DisplayNames(['en'], { type: 'region', fallback: 'none' }).of(region) || region;
    const locale = new Intl.Locale('und-' + region).maximize();
    let local;
    try {
        local = new Intl.DisplayNames([locale.toString()], { type: 'region', fallback: 'none' }).of(region);
    } catch (e) {
        local = undefined;
    }
    return { n: english, ln: local || english };
}

function mccOwners() {
    const counts = new Map(); // mcc -> Map(region -> networks)
    for (const entry of mccList) {
        if (entry.type !== 'National' || !entry.countryCode || !/^\d{3}$/.test(entry.mcc))
            continue;
        for (const region of entry.countryCode.split('/')) {
            if (!metadata.countries[region])
                continue; // e.g. GE-AB: no numbering plan of its own
            if (!counts.has(entry.mcc))
                counts.set(entry.mcc, new Map());
            const byRegion = counts.get(entry.mcc);
            byRegion.set(region, (byRegion.get(region) || 0) + 1);
        }
    }
    const owners = new Map();
    for (const [mcc, byRegion] of counts) {
        let owner = OWNER_OVERRIDES[mcc];
        if (!owner) {
            const ranked = [...byRegion].sort((a, b) => b[1] - a[1] || a[0].localeCompare(b[0]));
            if (ranked.length > 1 && ranked[0][1] === ranked[1][1])
                throw new Error(`MCC ${mcc} is shared evenly by ${ranked.map((r) => r[0])}: add an override`);
            owner = ranked[0][0];
        }
        owners.set(mcc, owner);
    }
    return { counts, owners };
}

function crossCheckProviderDatabase(counts) {
    const file = '/usr/share/mobile-broadband-provider-info/serviceproviders.xml';
    if (!fs.existsSync(file)) {
        console.error('cross-check skipped: mobile-broadband-provider-info is not installed');
        return;
    }
    const xml = fs.readFileSync(file, 'utf8');
    const regionsByMcc = new Map();
    const countryRx = /<country\s+code="([a-z]{2})"[\s\S]*?<\/country>/g;
    for (const country of xml.matchAll(countryRx)) {
        const region = country[1].toUpperCase();
        for (const id of country[0].matchAll(/<network-id\s+mcc="(\d{3})"/g)) {
            if (!regionsByMcc.has(id[1]))
                regionsByMcc.set(id[1], new Set());
            regionsByMcc.get(id[1]).add(region);
        }
    }
    for (const [mcc, regions] of [...regionsByMcc].sort()) {
        const listed = counts.get(mcc);
        if (!listed) {
            console.error(`cross-check: MCC ${mcc} (${[...regions]}) is missing from mcc-mnc-list; left out`);
            continue;
        }
        const extra = [...regions].filter((r) => !listed.has(r));
        if (extra.length)
            console.error(`cross-check: MCC ${mcc}: provider database also names ${extra}; mcc-mnc-list wins`);
    }
}

function buildRows() {
    const { counts, owners } = mccOwners();
    crossCheckProviderDatabase(counts);

    const rows = [];
    for (const region of Object.keys(metadata.countries).sort()) {
        const plan = regionPlan(region);
        const names = regionNames(region);
        let mccs = [...owners].filter(([, owner]) => owner === region).map(([mcc]) => mcc);
        if (!mccs.length)
            mccs = [...counts].filter(([, byRegion]) => byRegion.has(region)).map(([mcc]) => mcc);
        const row = { sn: region, ln: names.ln, pnum: plan.pnum, mmc: mccs.sort().join(','), numc: plan.numc,
                      r1: plan.r1, n: names.n };
        const shown = SHOWN_ROWS[region];
        if (shown) {
            for (const key of Object.keys(shown)) {
                if (row[key] !== shown[key])
                    console.error(`${region}.${key}: public data give "${row[key]}", the shown "${shown[key]}" wins`);
                row[key] = shown[key];
            }
        }
        rows.push(row);
    }
    // An MCC given to a shown row by the overrides belongs to it.
    const mmcSn = new Map(owners);
    for (const region of Object.keys(SHOWN_ROWS))
        for (const mcc of SHOWN_ROWS[region].mmc.split(','))
            mmcSn.set(mcc, region);
    return { rows, mmcSn: [...mmcSn].sort((a, b) => a[0].localeCompare(b[0])) };
}

function quote(text) {
    return "'" + String(text).replace(/'/g, "''") + "'";
}

function sqlScript({ rows, mmcSn }) {
    const lines = [
        'PRAGMA page_size=4096;',
        'PRAGMA journal_mode=DELETE;',
        'BEGIN;',
        'CREATE TABLE countries (sn CHAR(2) PRIMARY KEY, ln TEXT, pnum TEXT, mmc TEXT, numc TEXT, u2 TEXT, ' +
            'r1 TEXT, r2 TEXT, r3 TEXT, r4 TEXT, mnc_rx TEXT, n TEXT);',
        'CREATE INDEX index_countries_pnum ON countries (pnum);',
        'CREATE TABLE mmc_sn (mmc CHAR(3) PRIMARY KEY, sn CHAR(2));',
        'CREATE INDEX index_mmc_sn ON mmc_sn (sn);',
    ];
    for (const r of rows) {
        const values = [r.sn, r.ln, r.pnum, r.mmc, r.numc, '', r.r1, '', '', '', '', r.n].map(quote).join(', ');
        lines.push(`INSERT INTO countries VALUES (${values});`);
    }
    for (const [mcc, sn] of mmcSn)
        lines.push(`INSERT INTO mmc_sn VALUES (${quote(mcc)}, ${quote(sn)});`);
    lines.push('COMMIT;', 'VACUUM;', '');
    return lines.join('\n');
}

function writeDatabase(output, script) {
    const temporary = output + '.tmp';
    fs.rmSync(temporary, { force: true });
    execFileSync('sqlite3', ['-bail', temporary], { input: script });
    fs.renameSync(temporary, output);
}

function main() {
    const committed = path.resolve(__dirname, '../../res/countries.db');
    const check = process.argv[2] === '--check';
    const data = buildRows();
    const script = sqlScript(data);
    console.error(`${data.rows.length} countries, ${data.mmcSn.length} MCCs (Node ${process.versions.node}, ` +
        `ICU ${process.versions.icu})`);
    if (!check) {
        writeDatabase(path.resolve(process.argv[2] || committed), script);
        return;
    }
    const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'countries-'));
    const fresh = path.join(scratch, 'countries.db');
    writeDatabase(fresh, script);
    const same = fs.readFileSync(fresh).equals(fs.readFileSync(committed));
    fs.rmSync(scratch, { recursive: true, force: true });
    console.error(same ? 'identical to the committed library, byte for byte' : 'differs from the committed library');
    process.exitCode = same ? 0 : 1;
}

main();
