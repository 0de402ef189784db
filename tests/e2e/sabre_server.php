<?php
// A sabre/dav CalDAV and CardDAV server for the end-to-end tests, run as the router script of
// `php -S`: its PDO SQLite backends in the database TIDEWELL_SABRE_DB names (made by
// dav_servers.py from the schema the package ships), one Basic login, TIDEWELL_SABRE_USER and
// TIDEWELL_SABRE_PASSWORD. Principals live under /principals/, homes under /calendars/ and
// /addressbooks/.

// The Debian library predates PHP 8: its deprecation notices must not reach an answer.
error_reporting(E_ALL & ~E_DEPRECATED & ~E_USER_DEPRECATED);
ini_set('display_errors', '0');
date_default_timezone_set('UTC');
require_once 'Sabre/autoload.php';

class OneLogin extends \Sabre\DAV\Auth\Backend\AbstractBasic {
    protected function validateUserPass($username, $password) {
        return $username === getenv('TIDEWELL_SABRE_USER')
            && $password === getenv('TIDEWELL_SABRE_PASSWORD');
    }
}

$pdo = new \PDO('sqlite:' . getenv('TIDEWELL_SABRE_DB'));
$pdo->setAttribute(\PDO::ATTR_ERRMODE, \PDO::ERRMODE_EXCEPTION);
$principals = new \Sabre\DAVACL\PrincipalBackend\PDO($pdo);
$server = new \Sabre\DAV\Server(array(
    new \Sabre\CalDAV\Principal\Collection($principals),
    new \Sabre\CalDAV\CalendarRootNode($principals, new \Sabre\CalDAV\Backend\PDO($pdo)),
    new \Sabre\CardDAV\AddressBookRoot($principals, new \Sabre\CardDAV\Backend\PDO($pdo)),
));
$server->setBaseUri('/');
$server->addPlugin(new \Sabre\DAV\Auth\Plugin(new OneLogin(), 'sabre'));
$server->addPlugin(new \Sabre\CalDAV\Plugin());
$server->addPlugin(new \Sabre\CardDAV\Plugin());
$server->addPlugin(new \Sabre\DAVACL\Plugin());
$server->exec();
